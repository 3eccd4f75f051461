// The test-facing view of the simulated windowing (winsim_windows.h).
#include "machine/machine_areas.h"
#include "user/user_state.h"

namespace winsim {

using user::GetState;
using user::State;

std::vector<HWND> FindWindows(const std::wstring& class_name,
                              const std::optional<std::wstring>& title) {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  std::vector<HWND> found;
  // Handles grow with creation time, so map order is creation order.
  for (const auto& [hwnd, w] : s.windows)
    if (w->class_name == class_name && (!title || w->title == *title)) found.push_back(hwnd);
  return found;
}

std::optional<WindowInfo> DescribeWindow(HWND hwnd) {
  if (!IsWindow(hwnd)) return std::nullopt;
  const bool visible = IsWindowVisible(hwnd) != FALSE;
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  user::Window* w = user::Find(s, hwnd);
  if (w == nullptr) return std::nullopt;
  return WindowInfo{w->class_name,         w->title, w->style, w->parent, visible, w->rect,
                    user::ClientRectOf(*w)};
}

void StartMessageLog() {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.log.clear();
  s.logging = true;
}

void StopMessageLog() {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.logging = false;
}

std::vector<LoggedMessage> MessageLog() {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.log;
}

void ResetWindowing() {
  SetMonitors({Monitor{RECT{0, 0, 1920, 1080}, 96}});
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.logging = false;
  s.log.clear();
}

void ResetWindowingArea() { ResetWindowing(); }

}  // namespace winsim
