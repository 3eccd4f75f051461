// Recorder: the screen recorder, holding at most one Recording at a time.
// The host window that owns the engine creates it and destroys it; the
// recorder channel only refers to it.
//
// A recorder belongs to one thread (the platform thread) and is used there
// only, one call at a time. Start and Stop do all of their work in the call;
// the channel instead does what takes time on a worker with StartRecording and
// StopRecording, which touch no recorder, and moves the Recording in and out
// with Install and TakeRecording on the platform thread. Destroying a
// recorder that is still recording stops the recording first and finalises
// its file, so nothing of it outlives the owner (or the COM apartment the
// owner's thread left afterwards).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <utility>

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
  Result<StartReport> Start(const std::wstring& path, bool system_audio) {
    StartOptions options;
    options.path = path;
    options.system_audio = system_audio;
    return Start(options);
  }
  Result<StopStatistics> Stop();
  // See PauseRecording, ResumeRecording and RecordingStatus.
  recorder::Status Pause();
  recorder::Status Resume();
  RecorderStatus Status() const;
  // Stops a running recording, keeping what it recorded; harmless when idle.
  void StopIfRecording();

  // Takes `recording`, made by StartRecording, into the idle recorder.
  void Install(std::unique_ptr<Recording> recording) { recording_ = std::move(recording); }
  // Gives up the running recording for StopRecording; null when idle. The
  // recorder is idle afterwards.
  std::unique_ptr<Recording> TakeRecording() { return std::move(recording_); }

  bool recording() const { return recording_ != nullptr; }
  // The options of the running recording; null when idle.
  const StartOptions* options() const { return recording_ ? &recording_->options() : nullptr; }

  // How this recorder launches its worker threads; null restores std::thread.
  void SetWorkerLauncher(WorkerLauncher launcher) { launcher_ = launcher; }
  WorkerLauncher worker_launcher() const { return launcher_; }

 private:
  std::unique_ptr<Recording> recording_;
  WorkerLauncher launcher_ = nullptr;
};

// The two halves of Start and Stop that take time, on any thread inside a
// COM apartment: making a recording with its first frame written, and
// finishing one and moving its file into place.
Result<std::unique_ptr<Recording>> StartRecording(const StartOptions& options,
                                                  WorkerLauncher launcher);
Result<StopStatistics> StopRecording(std::unique_ptr<Recording> recording);

}  // namespace morl::recorder
