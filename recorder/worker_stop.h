// WorkerStop: the signal that ends a recording's workers. A manual-reset
// event, so every worker sees it and a worker pacing itself wakes at once
// instead of finishing its pause.
#pragma once

#include <windows.h>

namespace morl::recorder {

class WorkerStop {
 public:
  WorkerStop() = default;
  ~WorkerStop() { Close(); }
  WorkerStop(const WorkerStop&) = delete;
  WorkerStop& operator=(const WorkerStop&) = delete;

  // Creates the event, unsignalled (a stop left over from a recording is
  // forgotten). Returns the failure of CreateEventW as an HRESULT.
  HRESULT Open();
  void Close();

  void Request();
  // Whether stop was requested; false while the event is not open.
  bool Requested() const;
  // Waits up to `ms` milliseconds; true when stop was requested by then.
  // Without an open event it returns true at once, so no worker runs
  // unstoppable.
  bool WaitFor(DWORD ms) const;

 private:
  HANDLE event_ = nullptr;
};

}  // namespace morl::recorder
