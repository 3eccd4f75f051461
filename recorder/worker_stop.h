// WorkerStop: the signals of a recording's workers. The stop is a
// manual-reset event, so every worker sees it and a worker pacing itself
// wakes at once instead of finishing its pause. The wake is an auto-reset
// event for the one worker that sleeps while the recording is paused: the
// resume sets it, so that worker waits without a timeout and still goes on at
// once.
#pragma once

#include <windows.h>

#include "win32_support/owned_handle.h"

namespace morl::recorder {

class WorkerStop {
 public:
  WorkerStop() = default;
  WorkerStop(const WorkerStop&) = delete;
  WorkerStop& operator=(const WorkerStop&) = delete;

  // Creates both events, unsignalled (a stop or wake left over from a
  // recording is forgotten). Returns the failure of CreateEventW as an
  // HRESULT; nothing is left open then.
  HRESULT Open();
  void Close();

  void Request();
  // Whether stop was requested; false while the event is not open.
  bool Requested() const;
  // Waits up to `ms` milliseconds; true when stop was requested by then.
  // Without an open event it returns true at once, so no worker runs
  // unstoppable.
  bool WaitFor(DWORD ms) const;

  // Ends one WaitForWake, now or, when none is waiting, the next one.
  void Wake();
  // Waits until Wake or a stop; true when stop was requested. Like WaitFor,
  // true at once without open events.
  bool WaitForWake() const;

 private:
  OwnedHandle event_;
  OwnedHandle wake_;
};

}  // namespace morl::recorder
