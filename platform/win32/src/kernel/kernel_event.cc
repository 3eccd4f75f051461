// Event objects, CloseHandle, and the waits on events and waitable timers
// (kernel_waitable.h).
#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>

#include "kernel/kernel_file_rules.h"
#include "kernel/kernel_waitable.h"
#include "machine/machine_clock.h"
#include "windows.h"
#include "winsim.h"

namespace winsim {

WaitableState& Waitables() {
  static WaitableState* state = new WaitableState;  // used by threads that may outlive statics
  return *state;
}

namespace {

// The first signalled object of `handles` at machine time `now`, consumed
// when auto-reset; -1 when none is signalled, -2 when one of them is not a
// live object.
int TakeSignalled(WaitableState& s, DWORD count, const HANDLE* handles, std::int64_t now) {
  for (DWORD i = 0; i < count; ++i) {
    if (s.live.count(static_cast<Waitable*>(handles[i])) == 0) return -2;
  }
  for (DWORD i = 0; i < count; ++i) {
    auto* w = static_cast<Waitable*>(handles[i]);
    CatchUp(*w, now);
    if (!w->signalled) continue;
    if (!w->manual_reset) w->signalled = false;
    return static_cast<int>(i);
  }
  return -1;
}

// When the first of the timers among `handles` is signalled; kNever when
// none is set.
std::int64_t NextSignal(DWORD count, const HANDLE* handles) {
  std::int64_t next = kNever;
  for (DWORD i = 0; i < count; ++i)
    next = std::min(next, SignalTime(*static_cast<Waitable*>(handles[i])));
  return next;
}

DWORD Outcome(int taken) {
  if (taken == -2) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return taken < 0 ? WAIT_TIMEOUT : WAIT_OBJECT_0 + static_cast<DWORD>(taken);
}

BOOL SetSignalled(HANDLE handle, bool signalled) {
  WaitableState& s = Waitables();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    auto* event = static_cast<Waitable*>(handle);
    if (s.live.count(event) == 0 || event->timer) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    event->signalled = signalled;
  }
  if (signalled) s.changed.notify_all();
  return TRUE;
}

}  // namespace
}  // namespace winsim

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR) {
  if (winsim::FailedByInjection("CreateEventW")) return nullptr;
  auto* event = new winsim::Waitable;
  event->manual_reset = bManualReset != FALSE;
  event->signalled = bInitialState != FALSE;
  {
    std::lock_guard<std::mutex> lock(winsim::Waitables().mutex);
    winsim::Waitables().live.insert(event);
  }
  winsim::AddLive(winsim::Kind::kOther, "event");
  return event;
}

BOOL SetEvent(HANDLE hEvent) { return winsim::SetSignalled(hEvent, true); }

BOOL ResetEvent(HANDLE hEvent) { return winsim::SetSignalled(hEvent, false); }

BOOL CloseHandle(HANDLE hObject) {
  if (winsim::CloseFileHandle(hObject)) return TRUE;
  auto* w = static_cast<winsim::Waitable*>(hObject);
  {
    std::lock_guard<std::mutex> lock(winsim::Waitables().mutex);
    if (winsim::Waitables().live.erase(w) == 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
  }
  winsim::RemoveLive(winsim::Kind::kOther, w->timer ? "waitable timer" : "event");
  delete w;
  return TRUE;
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds) {
  if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr || bWaitAll) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  winsim::WaitableState& s = winsim::Waitables();
  std::unique_lock<std::mutex> lock(s.mutex);
  const auto take = [&] {
    return winsim::TakeSignalled(s, nCount, lpHandles, winsim::MachineNow100ns());
  };
  int taken = take();
  if (taken != -1 || dwMilliseconds == 0) return winsim::Outcome(taken);

  const std::int64_t end = dwMilliseconds == INFINITE
                               ? winsim::kNever
                               : winsim::TickedWaitEnd(winsim::MachineNow100ns(), dwMilliseconds);
  for (;;) {
    // The handles are live here (take() said so, under the lock held since).
    const std::int64_t next = winsim::NextSignal(nCount, lpHandles);
    if (!winsim::ManualClockRunning()) {
      if (std::min(next, end) == winsim::kNever) {
        s.changed.wait(lock);
      } else {
        // At most an hour at a time, so a timer due in centuries cannot
        // overflow the wall clock's time points.
        constexpr std::int64_t kLongestWait = 36'000'000'000;
        s.changed.wait_until(
            lock,
            winsim::WallTimeAt(std::min({next, end, winsim::MachineNow100ns() + kLongestWait})));
      }
    } else if (next < end) {
      // A timer ends the wait first: time moves to when it is signalled.
      lock.unlock();
      winsim::AdvanceManualClockTo(next);
      lock.lock();
    } else if (end != winsim::kNever) {
      // Time passes as it does for Sleep (which also runs the sleep hook),
      // and whatever the hook signalled is seen by the last look.
      lock.unlock();
      Sleep(dwMilliseconds);
      lock.lock();
      return winsim::Outcome(take());
    } else {
      s.changed.wait(lock);
    }
    taken = take();
    if (taken != -1) return winsim::Outcome(taken);
    if (winsim::MachineNow100ns() >= end) return WAIT_TIMEOUT;
  }
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}
