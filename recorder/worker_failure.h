// WorkerFailure: what went wrong in one recording worker, for the stop reply
// and the status. It keeps the worker's first failed call, as the operation
// and its HRESULT (later failures follow from the first and are not kept),
// and conditions that hold for a while without any call failing (a screen
// that cannot be read, a microphone that delivers nothing), one text per
// condition, replaced as the condition goes on. Recording a failure, or a
// condition for the first time, writes one diagnostic line. Every method is
// safe from any thread: the workers record while the status reads.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "recorder/recorder_error.h"

namespace morl::recorder {

class WorkerFailure {
 public:
  // `worker` names the worker in the diagnostic ("video", "audio").
  explicit WorkerFailure(const char* worker) : worker_(worker) {}

  void Record(const char* operation, HRESULT hr);
  // A failed call as WriteMediaSample reports it: its message names the call.
  void Record(const RecorderError& error) { Record(error.message.c_str(), error.hr); }
  // Sets the text of the condition `key` (a constant string naming it).
  // Conditions appear in the order they were first noted.
  void Note(const char* key, std::string text);
  void Clear();
  bool Failed() const;
  // "<operation> hr=0x…", or empty when nothing failed; conditions not included.
  std::string Text() const;
  // The first failure and then every condition, joined by "; ", followed by
  // "frames dropped: N" when `dropped` is more than 0; empty when nothing
  // went wrong. The text of the stop reply and the status alike.
  std::string Report(std::int64_t dropped = 0) const;

 private:
  const char* worker_;
  mutable std::mutex mutex_;
  std::string text_;
  std::vector<std::pair<const char*, std::string>> notes_;
};

}  // namespace morl::recorder
