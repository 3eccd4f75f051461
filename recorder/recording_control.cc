#include "recorder/recording_control.h"

#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <cstdlib>
#include <exception>

#include "recorder/audio_mixer.h"
#include "recorder/computer_audio.h"
#include "recorder/endpoint_lookup.h"
#include "recorder/hresult_text.h"
#include "recorder/microphone.h"
#include "recorder/now_100ns.h"
#include "recorder/recording_session.h"
#include "recorder/screen_capture.h"
#include "recorder/video_stream.h"
#include "recorder/utf_conversion.h"

namespace {

WorkerLauncher g_launcher = nullptr;

std::thread Launch(void (*worker)(RecordingSession&), RecordingSession& session) {
  if (g_launcher != nullptr) return g_launcher(worker, session);
  return std::thread(worker, std::ref(session));
}

void JoinWorkers(RecordingSession& session) {
  if (session.videoThread.joinable()) session.videoThread.join();
  if (session.audioThread.joinable()) session.audioThread.join();
}

void ShutDownMedia(RecordingSession& session) {
  if (session.mediaStarted) {
    MFShutdown();
    session.mediaStarted = false;
  }
}

// Takes back a start that failed after Media Foundation came up. The captures
// are reset only once audio set-up has run; before that they are as the start
// left them.
void UndoStart(RecordingSession& session, bool audioWasSetUp) {
  session.sinkWriter.Reset();
  session.micReader.Reset();
  if (audioWasSetUp) {
    session.loopbackCapture.Reset();
    session.micCapture.Reset();
  }
  ShutDownMedia(session);
}

// The session is a static record: returning from the entry point destroys it,
// and with it any worker thread still running would end the process abruptly
// and leave the file unplayable. Registered after the session was built, this
// runs before it is destroyed.
void StopRecordingAtExit() {
  if (!TheRecordingSession().recording) return;
  std::string code, message;
  flutter::ValueMap stats;
  StopRecording(code, message, stats);
}

void SetUpAudio(RecordingSession& session, bool systemAudio) {
  if (systemAudio) {
    SetUpComputerAudio(session);
    return;
  }
  std::wstring id, name;
  bool noEndpoint = false;
  const HRESULT hr = FindDefaultMicrophone(id, name, noEndpoint);
  if (SUCCEEDED(hr)) {
    SetUpMicrophone(session, id);
  } else if (!noEndpoint) {
    session.micError = "mic lookup " + HresultText(hr);
  }
}

// Launching a worker can throw; a half-started recording is then stopped and
// undone at once instead of being left for a later stop.
HRESULT LaunchWorkers(RecordingSession& session, std::string& code, std::string& message) {
  try {
    session.videoThread = Launch(RunScreenCapture, session);
    if (session.audioEnabled) {
      session.audioThread = Launch(session.systemAudio ? RunMixedAudio : RunMicAudio, session);
    }
    return S_OK;
  } catch (const std::exception& e) {
    session.stopRequested = true;
    JoinWorkers(session);
    session.recording = false;
    UndoStart(session, true);
    code = "start_failed";
    message = std::string("worker launch ") + e.what();
    return E_FAIL;
  }
}

}  // namespace

void SetWorkerLauncher(WorkerLauncher launcher) { g_launcher = launcher; }

HRESULT StartRecording(const std::wstring& path, bool systemAudio, std::string& code,
                       std::string& message) {
  RecordingSession& session = TheRecordingSession();
  if (session.recording) {
    code = "already_recording";
    return E_FAIL;
  }
  const int width = GetSystemMetrics(SM_CXSCREEN) & ~1;
  const int height = GetSystemMetrics(SM_CYSCREEN) & ~1;
  if (width <= 0 || height <= 0) {
    code = "no_screen";
    message = "GetSystemMetrics reported no primary display";
    return E_FAIL;
  }
  HRESULT hr = MFStartup(MF_VERSION, MFSTARTUP_LITE);
  if (FAILED(hr)) {
    code = "encoder_missing";
    message = "MFStartup " + HresultText(hr);
    return hr;
  }
  session.mediaStarted = true;
  session.micError.clear();
  session.systemAudioError.clear();
  session.systemAudio = systemAudio;
  session.audioEnabled = false;
  session.micReader.Reset();
  session.loopbackCapture.Reset();
  session.micCapture.Reset();

  ComRef<IMFAttributes> attributes;
  if (SUCCEEDED(MFCreateAttributes(attributes.Put(), 1))) {
    // Sample writes must not wait for the encoder, or capture falls behind.
    attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, TRUE);
  }
  session.sinkWriter.Reset();
  hr = MFCreateSinkWriterFromURL(path.c_str(), nullptr, attributes.Get(), session.sinkWriter.Put());
  if (FAILED(hr)) {
    code = "sink_failed";
    message = "create " + HresultText(hr);
    UndoStart(session, false);
    return hr;
  }
  hr = AddVideoStream(session.sinkWriter.Get(), width, height, &session.videoStreamIndex);
  if (FAILED(hr)) {
    code = "encoder_missing";
    message = "H264 " + HresultText(hr);
    UndoStart(session, false);
    return hr;
  }
  SetUpAudio(session, systemAudio);
  hr = session.sinkWriter->BeginWriting();
  if (FAILED(hr)) {
    code = "sink_failed";
    message = "begin " + HresultText(hr);
    UndoStart(session, true);
    return hr;
  }

  session.outputPath = path;
  session.width = width;
  session.height = height;
  session.framesWritten = 0;
  session.videoEndTime = 0;
  session.stopRequested = false;
  session.startTime = Now100ns();
  session.recording = true;
  hr = LaunchWorkers(session, code, message);
  if (FAILED(hr)) return hr;

  static const bool stopAtExitRegistered = std::atexit(StopRecordingAtExit) == 0;
  (void)stopAtExitRegistered;
  return S_OK;
}

HRESULT StopRecording(std::string& code, std::string& message, flutter::ValueMap& stats) {
  RecordingSession& session = TheRecordingSession();
  if (!session.recording) {
    code = "not_recording";
    return E_FAIL;
  }
  session.stopRequested = true;
  JoinWorkers(session);
  session.recording = false;
  const HRESULT hr = session.sinkWriter->Finalize();
  const bool hadAudio = session.audioEnabled;
  session.micReader.Reset();
  session.loopbackCapture.Reset();
  session.micCapture.Reset();
  session.sinkWriter.Reset();
  ShutDownMedia(session);
  if (FAILED(hr)) {
    code = "stop_failed";
    message = "finalize " + HresultText(hr);
    return hr;
  }

  std::int64_t bytes = 0;
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  if (GetFileAttributesExW(session.outputPath.c_str(), GetFileExInfoStandard, &attributes)) {
    bytes = static_cast<std::int64_t>((static_cast<std::uint64_t>(attributes.nFileSizeHigh) << 32) |
                                      attributes.nFileSizeLow);
  }
  using flutter::EncodableValue;
  stats[EncodableValue(std::string("path"))] = EncodableValue(WideToUtf8(session.outputPath));
  stats[EncodableValue(std::string("durationMs"))] =
      EncodableValue(static_cast<std::int64_t>(session.videoEndTime / 10000));
  stats[EncodableValue(std::string("width"))] =
      EncodableValue(static_cast<std::int32_t>(session.width));
  stats[EncodableValue(std::string("height"))] =
      EncodableValue(static_cast<std::int32_t>(session.height));
  stats[EncodableValue(std::string("frames"))] =
      EncodableValue(static_cast<std::int64_t>(session.framesWritten));
  stats[EncodableValue(std::string("bytes"))] = EncodableValue(bytes);
  stats[EncodableValue(std::string("hadAudio"))] = EncodableValue(hadAudio);
  return S_OK;
}
