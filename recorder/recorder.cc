#include "recorder/recorder.h"

#include <utility>

namespace morl::recorder {

namespace {

RecorderError NotRecording() { return RecorderError{"not_recording", "", E_FAIL}; }

}  // namespace

Recorder::~Recorder() { StopIfRecording(); }

Result<std::unique_ptr<Recording>> StartRecording(const StartOptions& options,
                                                  WorkerLauncher launcher) {
  return Recording::Start(options, launcher);
}

// The recording is destroyed before its file is moved: that closes the file.
Result<StopStatistics> StopRecording(std::unique_ptr<Recording> recording) {
  FinishedRecording finished = recording->Finish();
  recording.reset();
  return MoveIntoPlace(std::move(finished));
}

Result<StartReport> Recorder::Start(const StartOptions& options) {
  if (recording_) return RecorderError{"already_recording", "", E_FAIL};
  Result<std::unique_ptr<Recording>> started = StartRecording(options, launcher_);
  if (!started) return started.error();
  recording_ = std::move(*started);
  return recording_->report();
}

Result<StopStatistics> Recorder::Stop() {
  if (!recording_) return NotRecording();
  return StopRecording(std::move(recording_));
}

Status Recorder::Pause() { return recording_ ? recording_->Pause() : NotRecording(); }

Status Recorder::Resume() { return recording_ ? recording_->Resume() : NotRecording(); }

RecorderStatus Recorder::Status() const {
  return recording_ ? recording_->Status() : RecorderStatus();
}

void Recorder::StopIfRecording() {
  if (recording_) (void)Stop();
}

}  // namespace morl::recorder
