// Recorder: the screen recorder, holding at most one Recording at a time.
// The host window that owns the engine creates it and destroys it; the
// recorder channel only refers to it.
//
// All operations run on the platform thread, one at a time. Destroying a
// recorder that is still recording stops the recording first and finalises
// its file, so nothing of it outlives the owner (or the COM apartment the
// owner's thread left afterwards).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "recorder/recorder_error.h"
#include "recorder/recording_control.h"
#include "recorder/recording_pause.h"
#include "recorder/recording.h"
#include "recorder/start_options.h"

namespace morl::recorder {

class Recorder {
 public:
  Recorder() = default;
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // See Recording and MoveIntoPlace.
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

  bool recording() const { return recording_ != nullptr; }
  // The options of the running recording; null when idle.
  const StartOptions* options() const { return recording_ ? &recording_->options() : nullptr; }

  // How this recorder launches its worker threads; null restores std::thread.
  void SetWorkerLauncher(WorkerLauncher launcher) { launcher_ = launcher; }

 private:
  std::unique_ptr<Recording> recording_;
  WorkerLauncher launcher_ = nullptr;
};

}  // namespace morl::recorder
