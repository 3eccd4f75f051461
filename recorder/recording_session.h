// RecordingSession: the one record of the recorder's state, shared by the
// channel handler, start and stop, and the video and audio workers.
//
// Threads: the workers stop on `stopRequested` and hold `writerMutex` around
// every sample write; `framesWritten` and `videoEndTime` are changed only by
// the video worker. Every other field a worker reads is written before it is
// launched and released only after it has been joined.
#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "recorder/com_ref.h"
#include "recorder/wasapi_capture.h"

struct RecordingSession {
  std::atomic<bool> recording{false};
  std::atomic<bool> stopRequested{false};
  std::thread videoThread;
  std::thread audioThread;
  ComRef<IMFSinkWriter> sinkWriter;
  std::mutex writerMutex;
  DWORD videoStreamIndex = 0;  // DWORD: the sink writer's stream-index type
  DWORD audioStreamIndex = 0;
  ComRef<IMFSourceReader> micReader;
  std::uint32_t micSampleRate = 48000;
  std::uint32_t micChannels = 2;
  bool audioEnabled = false;
  std::string micError;  // UTF-8
  bool systemAudio = false;
  WasapiCapture loopbackCapture;
  WasapiCapture micCapture;
  std::string systemAudioError;  // UTF-8
  std::wstring outputPath;       // UTF-16
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int64_t startTime = 0;  // Now100ns at the start of the recording
  std::atomic<std::int64_t> framesWritten{0};
  std::atomic<std::int64_t> videoEndTime{0};  // end of the last accepted video sample
  bool mediaStarted = false;                  // MFStartup succeeded and one MFShutdown is owed
};

// The process-wide session. It exists from static initialisation to process
// exit; a recording still running at exit is ended first (its workers are
// stopped and joined and its file finalised), so no worker outlives it.
RecordingSession& TheRecordingSession();
