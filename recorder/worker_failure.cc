#include "recorder/worker_failure.h"

#include <cstring>

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

void WorkerFailure::Note(const char* key, std::string text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [noted, held] : notes_) {
      if (std::strcmp(noted, key) == 0) {
        held = std::move(text);
        return;
      }
    }
    notes_.emplace_back(key, text);
  }
  WriteRecorderDiagnostic(std::string("Recorder ") + worker_ + ": " + text);
}

void WorkerFailure::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  text_.clear();
  notes_.clear();
}

bool WorkerFailure::Failed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !text_.empty();
}

std::string WorkerFailure::Text() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_;
}

std::string WorkerFailure::Report(std::int64_t dropped) const {
  std::string report;
  const auto add = [&report](const std::string& part) {
    if (!report.empty()) report += "; ";
    report += part;
  };
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!text_.empty()) add(text_);
    for (const auto& note : notes_) add(note.second);
  }
  if (dropped > 0) add("frames dropped: " + std::to_string(dropped));
  return report;
}

}  // namespace morl::recorder
