// WorkerFailure: the first failure of one recording worker, as the failing
// operation and its HRESULT. Later failures are not kept: the first one is
// the cause, the rest follow from it. Recording it writes the one diagnostic
// line for it. Safe to record from the worker while nothing reads it; the
// stop reads it after the worker was joined.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "recorder/recorder_error.h"

namespace morl::recorder {

class WorkerFailure {
 public:
  // `worker` names the worker in the diagnostic ("video", "audio").
  explicit WorkerFailure(const char* worker) : worker_(worker) {}

  void Record(const char* operation, HRESULT hr);
  // A failed call as WriteMediaSample reports it: its message names the call.
  void Record(const RecorderError& error) { Record(error.message.c_str(), error.hr); }
  void Clear();
  bool Failed() const;
  // "<operation> hr=0x…", or empty when nothing failed.
  std::string Text() const;

 private:
  const char* worker_;
  mutable std::mutex mutex_;
  std::string text_;
};

}  // namespace morl::recorder
