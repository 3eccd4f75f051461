#include "recorder/recorder.h"

#include <utility>

namespace morl::recorder {

namespace {

RecorderError NotRecording() { return RecorderError{"not_recording", "", E_FAIL}; }

}  // namespace

Recorder::~Recorder() { StopIfRecording(); }

Result<StartReport> Recorder::Start(const StartOptions& options) {
  if (recording_) return RecorderError{"already_recording", "", E_FAIL};
  Result<std::unique_ptr<Recording>> started = Recording::Start(options, launcher_);
  if (!started) return started.error();
  recording_ = std::move(*started);
  return recording_->report();
}

// The recording is destroyed before its file is moved: that closes the file.
Result<StopStatistics> Recorder::Stop() {
  if (!recording_) return NotRecording();
  FinishedRecording finished = recording_->Finish();
  recording_.reset();
  return MoveIntoPlace(std::move(finished));
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
