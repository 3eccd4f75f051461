// Recorder: the owner of everything one screen recorder needs between its
// creation and its destruction: the session record, the worker threads and
// the COM references the session holds. The host window that owns the engine
// creates it and destroys it; the recorder channel only refers to it.
//
// All operations run on the platform thread, one at a time. Destroying a
// recorder that is still recording stops the recording first and finalises
// its file, so nothing of it outlives the owner (or the COM apartment the
// owner's thread left afterwards).
#pragma once

#include <windows.h>

#include <string>

#include "recorder/recorder_error.h"
#include "recorder/recording_control.h"
#include "recorder/recording_pause.h"
#include "recorder/recording_session.h"
#include "recorder/start_options.h"

namespace morl::recorder {

class Recorder {
 public:
  Recorder() = default;
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // See StartRecording and StopRecording.
  Result<StartReport> Start(const StartOptions& options);
  // A recording of the primary display with the default devices, as an
  // ordinary MP4.
  Result<StartReport> Start(const std::wstring& path, bool systemAudio) {
    StartOptions options;
    options.path = path;
    options.systemAudio = systemAudio;
    return Start(options);
  }
  Result<StopStatistics> Stop();
  // See PauseRecording, ResumeRecording and RecordingStatus.
  recorder::Status Pause();
  recorder::Status Resume();
  RecorderStatus Status() const;
  // Stops a running recording, keeping what it recorded; harmless when idle.
  void StopIfRecording();

  bool recording() const { return session_.recording; }
  // The session record: what the start reply reports, and what tests inspect.
  const RecordingSession& session() const { return session_; }
  RecordingSession& session() { return session_; }

  // How this recorder launches its worker threads; null restores std::thread.
  void SetWorkerLauncher(WorkerLauncher launcher) { launcher_ = launcher; }

 private:
  RecordingSession session_;
  WorkerLauncher launcher_ = nullptr;
};

}  // namespace morl::recorder
