#include "recorder/recorder.h"

namespace morl::recorder {

Recorder::~Recorder() { StopIfRecording(); }

HRESULT Recorder::Start(const StartOptions& options, std::string& code, std::string& message) {
  return StartRecording(session_, launcher_, options, code, message);
}

HRESULT Recorder::Stop(std::string& code, std::string& message, flutter::ValueMap& stats) {
  return StopRecording(session_, code, message, stats);
}

void Recorder::StopIfRecording() {
  if (!session_.recording) return;
  std::string code, message;
  flutter::ValueMap stats;
  StopRecording(session_, code, message, stats);
}

}  // namespace morl::recorder
