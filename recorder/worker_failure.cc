#include "recorder/worker_failure.h"

#include "win32_support/hresult_text.h"

namespace morl::recorder {

void WorkerFailure::Record(const char* operation, HRESULT hr) {
  std::string text = std::string(operation) + " " + HresultText(hr);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!text_.empty()) return;
    text_ = text;
  }
  WriteRecorderDiagnostic(std::string("Recorder ") + worker_ + ": " + text);
}

void WorkerFailure::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  text_.clear();
}

bool WorkerFailure::Failed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !text_.empty();
}

std::string WorkerFailure::Text() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_;
}

}  // namespace morl::recorder
