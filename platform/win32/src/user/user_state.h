// Internal state of the simulated windowing: the window and class tables,
// per-thread message queues and timers, all guarded by one mutex. Window
// procedures are never called with the mutex held.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>
#include <winsim_windows.h>

namespace winsim::user {

struct Timer {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  std::int64_t period = 0;  // clock ticks
  std::int64_t due = 0;
  TIMERPROC proc = nullptr;
};

// A message sent from another thread, waiting for the window's own thread to
// call its procedure inside GetMessageW or PeekMessageW, as Windows does.
struct SentMessage {
  MSG msg{};
  bool done = false;
  LRESULT result = 0;
};

struct Queue {
  std::condition_variable wake;
  std::condition_variable replied;  // a sent message was answered
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::deque<MSG> posted;
  bool quit = false;
  int quit_code = 0;
  std::vector<Timer> timers;
};

struct WindowClass {
  std::wstring name;
  std::string narrow_name;  // the accounting name
  WNDCLASSW attributes{};
  int windows = 0;
};

struct Window {
  HWND hwnd = nullptr;
  std::wstring class_name;
  std::string narrow_class;
  std::wstring title;
  WNDPROC proc = nullptr;
  DWORD style = 0;
  DWORD ex_style = 0;
  HWND parent = nullptr;
  bool message_only = false;
  std::vector<HWND> children;
  RECT rect{};  // in the parent's client coordinates; screen for top-level windows
  LONG_PTR user_data = 0;
  bool destroying = false;
  std::shared_ptr<Queue> queue;
};

struct State {
  std::mutex mutex;
  std::map<std::wstring, WindowClass> classes;
  std::map<HWND, std::unique_ptr<Window>> windows;
  std::uintptr_t next_handle = 0x10000;
  HWND focus = nullptr;
  bool logging = false;
  std::vector<winsim::LoggedMessage> log;
};

State& GetState();
// The calling thread's queue, created on first use.
std::shared_ptr<Queue> CurrentQueue();
// Looks a window up; null for a handle that is not (or no longer) a window.
// Requires the mutex.
Window* Find(State& state, HWND hwnd);
// Calls the window procedure of `hwnd` (without the mutex) and records the
// message in the log when logging is on. Gives 0 for a dead handle.
LRESULT CallProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
// The top-level windows (no parent, not message-only), oldest first: those
// that system-wide messages such as WM_DISPLAYCHANGE go to.
std::vector<HWND> TopLevelWindows();
// Sends `message` to `hwnd` from any thread. On the window's own thread the
// procedure is called at once; from another thread the message waits for
// the owner's next GetMessageW or PeekMessageW and, with `wait`, the caller
// waits for its result (0 when the window is destroyed first).
LRESULT SendAcrossThreads(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, bool wait);
// Sends and waits at most `allowance` for the answer; false when the window's
// thread did not handle the message in that time (the message stays queued).
bool SendAcrossThreadsWithin(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                             std::chrono::milliseconds allowance);
// The client size of a window from its rectangle and style.
RECT ClientRectOf(const Window& window);
// Removes the timers of a dying window. Requires the mutex.
void DropTimers(State& state, Window& window);

// The simulated clock in ticks, and ticks per millisecond.
std::int64_t ClockNow();
std::int64_t TicksPerMs();
// Lets a manual clock reach `ticks` from now: called when a wait for a timer
// saw the clock stand still.
void AdvanceIdleClock(std::int64_t ticks);

}  // namespace winsim::user
