// Waitable timers: events with a due time and a period, signalled by the
// machine's clock when someone looks (kernel_waitable.h).
#include <algorithm>
#include <mutex>

#include "kernel/kernel_waitable.h"
#include "machine/machine_clock.h"
#include "windows.h"
#include "winsim.h"

namespace winsim {

std::int64_t SignalTime(const Waitable& w) {
  if (!w.timer || w.due == kNever) return kNever;
  return w.high_resolution ? w.due : TickAtOrAfter(w.due);
}

void CatchUp(Waitable& w, std::int64_t now) {
  if (SignalTime(w) > now) return;
  w.signalled = true;
  if (w.period == 0) {
    w.due = kNever;
    return;
  }
  // Straight to the last period before `now`, then on to the first one not
  // yet signalled (on a tick, a period due just before `now` may still be).
  if (now - w.due > w.period) w.due += (now - w.due) / w.period * w.period - w.period;
  while (SignalTime(w) <= now) w.due += w.period;
}

namespace {

constexpr DWORD kKnownFlags =
    CREATE_WAITABLE_TIMER_MANUAL_RESET | CREATE_WAITABLE_TIMER_HIGH_RESOLUTION;

HANDLE CreateTimer(const char* call, LPCWSTR name, DWORD flags) {
  if (FailedByInjection(call)) return nullptr;
  if ((flags & ~kKnownFlags) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (name != nullptr) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  auto* timer = new Waitable;
  timer->timer = true;
  timer->manual_reset = (flags & CREATE_WAITABLE_TIMER_MANUAL_RESET) != 0;
  timer->high_resolution = (flags & CREATE_WAITABLE_TIMER_HIGH_RESOLUTION) != 0;
  {
    std::lock_guard<std::mutex> lock(Waitables().mutex);
    Waitables().live.insert(timer);
  }
  AddLive(Kind::kOther, "waitable timer");
  return timer;
}

// The live timer `handle` is, or null with ERROR_INVALID_HANDLE; with the
// lock held.
Waitable* FindTimer(WaitableState& s, HANDLE handle) {
  auto* w = static_cast<Waitable*>(handle);
  if (s.live.count(w) == 0 || !w->timer) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return w;
}

}  // namespace
}  // namespace winsim

HANDLE CreateWaitableTimerW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, LPCWSTR lpTimerName) {
  return winsim::CreateTimer("CreateWaitableTimerW", lpTimerName,
                             bManualReset ? CREATE_WAITABLE_TIMER_MANUAL_RESET : 0);
}

HANDLE CreateWaitableTimerExW(LPSECURITY_ATTRIBUTES, LPCWSTR lpTimerName, DWORD dwFlags, DWORD) {
  return winsim::CreateTimer("CreateWaitableTimerExW", lpTimerName, dwFlags);
}

// fResume asks to wake a suspended machine; the simulated one never sleeps.
BOOL SetWaitableTimer(HANDLE hTimer, const LARGE_INTEGER* lpDueTime, LONG lPeriod,
                      PTIMERAPCROUTINE pfnCompletionRoutine, LPVOID, BOOL) {
  if (pfnCompletionRoutine != nullptr) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (lpDueTime == nullptr || lPeriod < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  winsim::WaitableState& s = winsim::Waitables();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    winsim::Waitable* timer = winsim::FindTimer(s, hTimer);
    if (timer == nullptr) return FALSE;
    // Due times beyond any run of the machine are kept as far off, not as
    // never, so a wait on such a timer still counts as one on a set timer.
    const std::int64_t due = std::max(lpDueTime->QuadPart, -winsim::kFarOff);
    timer->due = std::min(
        due < 0 ? winsim::MachineNow100ns() - due : due - winsim::SystemTimeAtMachineZero(),
        winsim::kFarOff);
    timer->period = std::int64_t{lPeriod} * 10'000;
    timer->signalled = false;
  }
  // Waiters work out anew when to wake.
  s.changed.notify_all();
  return TRUE;
}

BOOL CancelWaitableTimer(HANDLE hTimer) {
  winsim::WaitableState& s = winsim::Waitables();
  std::lock_guard<std::mutex> lock(s.mutex);
  winsim::Waitable* timer = winsim::FindTimer(s, hTimer);
  if (timer == nullptr) return FALSE;
  // A due time that passed before the cancel has signalled the timer.
  winsim::CatchUp(*timer, winsim::MachineNow100ns());
  timer->due = winsim::kNever;
  return TRUE;
}
