#include "recorder/recorder.h"

#include "recorder/recording_pause.h"

namespace morl::recorder {

Recorder::~Recorder() { StopIfRecording(); }

HRESULT Recorder::Start(const StartOptions& options, std::string& code, std::string& message) {
  return StartRecording(session_, launcher_, options, code, message);
}

HRESULT Recorder::Stop(std::string& code, std::string& message, flutter::ValueMap& stats) {
  return StopRecording(session_, code, message, stats);
}

HRESULT Recorder::Pause(std::string& code) { return PauseRecording(session_, code); }

HRESULT Recorder::Resume(std::string& code) { return ResumeRecording(session_, code); }

flutter::ValueMap Recorder::Status() const { return RecordingStatus(session_); }

void Recorder::StopIfRecording() {
  if (!session_.recording) return;
  std::string code, message;
  flutter::ValueMap stats;
  StopRecording(session_, code, message, stats);
}

}  // namespace morl::recorder
