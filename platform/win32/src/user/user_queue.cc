// The per-thread message queue: posted messages, WM_QUIT and timers.
#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>

#include "machine/machine_clock.h"
#include "user/user_state.h"

namespace winsim::user {

std::shared_ptr<Queue> CurrentQueue() {
  thread_local std::shared_ptr<Queue> queue = std::make_shared<Queue>();
  return queue;
}

void DropTimers(State&, Window& window) {
  auto& timers = window.queue->timers;
  timers.erase(std::remove_if(timers.begin(), timers.end(),
                              [&](const Timer& t) { return t.hwnd == window.hwnd; }),
               timers.end());
}

}  // namespace winsim::user

namespace {

using namespace winsim::user;

constexpr UINT kTimerMinimumMs = 10;  // USER_TIMER_MINIMUM
// How long one wait may last before the clock is looked at again; a manual
// clock that stood still through such a wait is moved on to the next timer.
constexpr std::chrono::milliseconds kWaitSlice{20};

bool InRange(UINT message, UINT min, UINT max) {
  return (min == 0 && max == 0) || (message >= min && message <= max);
}

bool ForFilter(State& s, HWND msg_hwnd, HWND filter) {
  if (filter == nullptr) return true;
  for (Window* w = Find(s, msg_hwnd); w != nullptr; w = Find(s, w->parent))
    if (w->hwnd == filter) return true;
  return false;
}

DWORD NowMs() { return static_cast<DWORD>(ClockNow() / TicksPerMs()); }

// One look into the queue, in Windows' order: posted messages, then WM_QUIT,
// then due timers. With `wait`, blocks until one of them is there.
bool Retrieve(MSG* out, HWND filter, UINT min, UINT max, bool remove, bool wait) {
  const std::shared_ptr<Queue> q = CurrentQueue();
  State& s = GetState();
  std::unique_lock<std::mutex> lock(s.mutex);
  for (;;) {
    // Messages sent from other threads are handled first, inside the call,
    // and never returned.
    if (!q->sent.empty()) {
      const std::shared_ptr<SentMessage> sent = q->sent.front();
      q->sent.pop_front();
      lock.unlock();
      const LRESULT result =
          CallProc(sent->msg.hwnd, sent->msg.message, sent->msg.wParam, sent->msg.lParam);
      lock.lock();
      sent->result = result;
      sent->done = true;
      q->replied.notify_all();
      continue;
    }
    for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
      if (!InRange(it->message, min, max) || !ForFilter(s, it->hwnd, filter)) continue;
      *out = *it;
      if (remove) q->posted.erase(it);
      return true;
    }
    if (q->quit && filter == nullptr) {
      *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q->quit_code), 0, NowMs(), POINT{0, 0}};
      if (remove) q->quit = false;
      return true;
    }
    const std::int64_t now = ClockNow();
    Timer* next = nullptr;
    if (InRange(WM_TIMER, min, max)) {
      for (Timer& t : q->timers)
        if (ForFilter(s, t.hwnd, filter) && (next == nullptr || t.due < next->due)) next = &t;
    }
    if (next != nullptr && next->due <= now) {
      *out = MSG{next->hwnd,
                 WM_TIMER,
                 next->id,
                 reinterpret_cast<LPARAM>(next->proc),
                 static_cast<DWORD>(now / TicksPerMs()),
                 POINT{0, 0}};
      if (remove) next->due = now + next->period;
      return true;
    }
    if (!wait) return false;
    if (next == nullptr) {
      q->wake.wait(lock);
      continue;
    }
    const std::int64_t remaining = next->due - now;
    const auto slice = std::min<std::chrono::nanoseconds>(
        kWaitSlice, winsim::WallDurationOf((remaining / TicksPerMs() + 1) * 10'000));
    if (q->wake.wait_for(lock, slice) == std::cv_status::timeout && ClockNow() == now) {
      lock.unlock();
      AdvanceIdleClock(remaining);
      lock.lock();
    }
  }
}

}  // namespace

BOOL GetMessageW(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max) {
  if (msg == nullptr) return -1;
  if (hwnd != nullptr && !IsWindow(hwnd)) return -1;
  Retrieve(msg, hwnd, filter_min, filter_max, true, true);
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max, UINT remove) {
  if (msg == nullptr) return FALSE;
  return Retrieve(msg, hwnd, filter_min, filter_max, (remove & PM_REMOVE) != 0, false) ? TRUE
                                                                                       : FALSE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageW(const MSG* msg) {
  if (msg == nullptr) return 0;
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
    return 0;
  }
  if (msg->hwnd == nullptr) return 0;
  return CallProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (winsim::FailedByInjection("PostMessageW")) return FALSE;
  std::shared_ptr<Queue> q = hwnd == nullptr ? CurrentQueue() : nullptr;
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (q == nullptr) {
    Window* w = Find(s, hwnd);
    if (w == nullptr) return FALSE;
    q = w->queue;
  }
  q->posted.push_back(MSG{hwnd, message, wparam, lparam, NowMs(), POINT{0, 0}});
  q->wake.notify_all();
  return TRUE;
}

namespace winsim::user {

std::vector<HWND> TopLevelWindows() {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  std::vector<HWND> windows;
  for (const auto& [hwnd, window] : s.windows) {
    if (window->parent == nullptr && !window->message_only && !window->destroying) {
      windows.push_back(hwnd);
    }
  }
  return windows;
}

namespace {

// Sends `message`; with `allowance`, waits for the answer at most that long.
// Gives whether the answer came (always true on the window's own thread and
// for a window that is gone) and the procedure's result.
std::pair<bool, LRESULT> Send(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                              std::optional<std::chrono::milliseconds> allowance) {
  const std::shared_ptr<Queue> own = CurrentQueue();
  State& s = GetState();
  std::unique_lock<std::mutex> lock(s.mutex);
  Window* w = Find(s, hwnd);
  if (w == nullptr) return {true, 0};
  const std::shared_ptr<Queue> q = w->queue;
  if (q == own) {
    lock.unlock();
    return {true, CallProc(hwnd, message, wparam, lparam)};
  }
  auto sent = std::make_shared<SentMessage>();
  sent->msg = MSG{hwnd, message, wparam, lparam, NowMs(), POINT{0, 0}};
  q->sent.push_back(sent);
  q->wake.notify_all();
  if (!allowance) return {false, 0};
  const auto answered = [&] { return sent->done || Find(s, hwnd) == nullptr; };
  if (*allowance == std::chrono::milliseconds::max()) {
    q->replied.wait(lock, answered);
    return {true, sent->result};
  }
  const bool done = q->replied.wait_for(lock, *allowance, answered);
  return {done, sent->result};
}

}  // namespace

LRESULT SendAcrossThreads(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, bool wait) {
  const auto no_wait = std::optional<std::chrono::milliseconds>();
  return Send(hwnd, message, wparam, lparam,
              wait ? std::optional(std::chrono::milliseconds::max()) : no_wait)
      .second;
}

bool SendAcrossThreadsWithin(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                             std::chrono::milliseconds allowance) {
  return Send(hwnd, message, wparam, lparam, allowance).first;
}

}  // namespace winsim::user

LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return SendAcrossThreads(hwnd, message, wparam, lparam, true);
}

BOOL SendNotifyMessageW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  SendAcrossThreads(hwnd, message, wparam, lparam, false);
  return TRUE;
}

void PostQuitMessage(int exit_code) {
  const std::shared_ptr<Queue> q = CurrentQueue();
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  q->quit = true;
  q->quit_code = exit_code;
  q->wake.notify_all();
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse_ms, TIMERPROC proc) {
  std::shared_ptr<Queue> q = hwnd == nullptr ? CurrentQueue() : nullptr;
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (hwnd != nullptr) {
    Window* w = Find(s, hwnd);
    if (w == nullptr) return 0;
    q = w->queue;
  } else {
    static UINT_PTR next_thread_timer = 0x7F00;  // ids of window-less timers are chosen here
    id = ++next_thread_timer;
  }
  const std::int64_t period =
      static_cast<std::int64_t>(std::max(elapse_ms, kTimerMinimumMs)) * TicksPerMs();
  auto& timers = q->timers;
  timers.erase(std::remove_if(timers.begin(), timers.end(),
                              [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; }),
               timers.end());
  timers.push_back(Timer{hwnd, id, period, ClockNow() + period, proc});
  q->wake.notify_all();
  return id == 0 ? 1 : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  std::shared_ptr<Queue> q = hwnd == nullptr ? CurrentQueue() : nullptr;
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (hwnd != nullptr) {
    Window* w = Find(s, hwnd);
    if (w == nullptr) return FALSE;
    q = w->queue;
  }
  auto& timers = q->timers;
  const auto before = timers.size();
  timers.erase(std::remove_if(timers.begin(), timers.end(),
                              [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; }),
               timers.end());
  return timers.size() != before ? TRUE : FALSE;
}
