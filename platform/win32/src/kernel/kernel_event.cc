// Event objects and the waits on them. All events share one lock and one
// condition variable: waits are rare and short, and a wait on several events
// then needs no registration with each of them.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>

#include "machine/machine_clock.h"
#include "kernel/kernel_file_rules.h"
#include "windows.h"
#include "winsim.h"

namespace winsim {
namespace {

struct Event {
  bool manual_reset;
  bool signalled;
};

struct EventState {
  std::mutex mutex;
  std::condition_variable changed;
  std::set<Event*> live;
};

EventState& Events() {
  static EventState* state = new EventState;  // used by threads that may outlive statics
  return *state;
}

// The first signalled event of `events`, consumed when auto-reset; -1 when
// none is signalled, -2 when one of them is not a live event.
int TakeSignalled(EventState& s, DWORD count, const HANDLE* events) {
  for (DWORD i = 0; i < count; ++i) {
    if (s.live.count(static_cast<Event*>(events[i])) == 0) return -2;
  }
  for (DWORD i = 0; i < count; ++i) {
    auto* event = static_cast<Event*>(events[i]);
    if (!event->signalled) continue;
    if (!event->manual_reset) event->signalled = false;
    return static_cast<int>(i);
  }
  return -1;
}

DWORD Outcome(int taken) {
  if (taken == -2) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return taken < 0 ? WAIT_TIMEOUT : WAIT_OBJECT_0 + static_cast<DWORD>(taken);
}

BOOL SetSignalled(HANDLE handle, bool signalled) {
  EventState& s = Events();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    auto* event = static_cast<Event*>(handle);
    if (s.live.count(event) == 0) {
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
  auto* event = new winsim::Event{bManualReset != FALSE, bInitialState != FALSE};
  {
    std::lock_guard<std::mutex> lock(winsim::Events().mutex);
    winsim::Events().live.insert(event);
  }
  winsim::AddLive(winsim::Kind::kOther, "event");
  return event;
}

BOOL SetEvent(HANDLE hEvent) { return winsim::SetSignalled(hEvent, true); }

BOOL ResetEvent(HANDLE hEvent) { return winsim::SetSignalled(hEvent, false); }

BOOL CloseHandle(HANDLE hObject) {
  if (winsim::CloseFileHandle(hObject)) return TRUE;
  auto* event = static_cast<winsim::Event*>(hObject);
  {
    std::lock_guard<std::mutex> lock(winsim::Events().mutex);
    if (winsim::Events().live.erase(event) == 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
  }
  delete event;
  winsim::RemoveLive(winsim::Kind::kOther, "event");
  return TRUE;
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds) {
  if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr || bWaitAll) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  winsim::EventState& s = winsim::Events();
  std::unique_lock<std::mutex> lock(s.mutex);
  int taken = winsim::TakeSignalled(s, nCount, lpHandles);
  if (taken != -1 || dwMilliseconds == 0) return winsim::Outcome(taken);

  const auto ready = [&] { return (taken = winsim::TakeSignalled(s, nCount, lpHandles)) != -1; };
  if (dwMilliseconds == INFINITE) {
    s.changed.wait(lock, ready);
  } else if (winsim::ManualClockRunning()) {
    // Time passes as it does for Sleep (which also runs the sleep hook), and
    // whatever the hook signalled is seen by the second look.
    lock.unlock();
    Sleep(dwMilliseconds);
    lock.lock();
    ready();
  } else {
    const std::int64_t end = winsim::TickedWaitEnd(winsim::MachineNow100ns(), dwMilliseconds);
    s.changed.wait_until(lock, winsim::WallTimeAt(end), ready);
  }
  return winsim::Outcome(taken);
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}
