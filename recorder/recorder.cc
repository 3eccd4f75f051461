#include "recorder/recorder.h"

namespace morl::recorder {

Recorder::~Recorder() { StopIfRecording(); }

Result<StartReport> Recorder::Start(const StartOptions& options) {
  return StartRecording(session_, launcher_, options);
}

Result<StopStatistics> Recorder::Stop() { return StopRecording(session_); }

Status Recorder::Pause() { return PauseRecording(session_); }

Status Recorder::Resume() { return ResumeRecording(session_); }

RecorderStatus Recorder::Status() const { return RecordingStatus(session_); }

void Recorder::StopIfRecording() {
  if (session_.recording) (void)StopRecording(session_);
}

}  // namespace morl::recorder
