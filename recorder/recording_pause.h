// Pausing and resuming a recording, and its status while it runs. All three
// run on the platform thread, like the start and the stop, so none of them
// races with those; the workers follow the session's clock.
//
// PauseRecording stops capture: the video worker takes no frame and the audio
// captured from now on is dropped, not queued. ResumeRecording continues the
// recording right after what preceded the pause, on the same time line: the
// file has no gap and its duration counts recorded time only. A paused
// recording stops and finalises like any other. Refusals: "already_paused",
// "not_paused" ("not_recording" comes from the Recorder, when idle).
//
// RecordingStatus reads only atomics, the clock and the size of the file
// being written; it never waits for the writer or a worker. An idle
// recorder's status is the default one: false, false, zeros and no levels.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "recorder/recorder_error.h"

namespace morl::recorder {

struct RecordingSession;

struct RecorderStatus {
  bool recording = false;
  bool paused = false;
  std::int64_t elapsedMs = 0;  // recorded time
  std::int64_t frames = 0;     // frames written
  std::int64_t bytes = 0;      // the file's size so far, 0 when it cannot be read
  // The source's peak sample over the last 100 ms, 0.0 to 1.0 (0.0 while
  // paused), only while that source is recorded.
  std::optional<double> micLevel;
  std::optional<double> systemAudioLevel;
};

Status PauseRecording(RecordingSession& session);
Status ResumeRecording(RecordingSession& session);
RecorderStatus RecordingStatus(const RecordingSession& session);

}  // namespace morl::recorder
