// Control API of the simulated windowing, for tests: find windows, read their
// state, record the messages their procedures receive, and set the monitors.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

namespace winsim {

struct WindowInfo {
  std::wstring class_name;
  std::wstring title;
  DWORD style = 0;
  HWND parent = nullptr;
  bool visible = false;  // IsWindowVisible: its own flag and every ancestor's
  RECT rect{};           // parent client coordinates (screen for top-level windows)
  RECT client{};
};

// Live windows whose class (and title, when given) match, oldest first.
std::vector<HWND> FindWindows(const std::wstring& class_name,
                              const std::optional<std::wstring>& title = std::nullopt);
std::optional<WindowInfo> DescribeWindow(HWND hwnd);

// A message as a window procedure received it (sent or dispatched).
struct LoggedMessage {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wparam = 0;
  LPARAM lparam = 0;
};
// Starts recording from empty; StopMessageLog ends it. MessageLog gives a copy.
void StartMessageLog();
void StopMessageLog();
std::vector<LoggedMessage> MessageLog();

// Monitors: the primary is 1920 x 1080 at (0, 0) with 96 DPI until changed.
struct Monitor {
  Monitor(RECT rect_ = {}, UINT dpi_ = 96, bool primary_ = false, std::wstring name_ = {})
      : rect(rect_), dpi(dpi_), primary(primary_), name(std::move(name_)) {}
  RECT rect;
  UINT dpi;
  bool primary;       // when no monitor is marked, the first is the primary
  std::wstring name;  // GetMonitorInfoW's szDevice; empty: "\\.\DISPLAY" and its number
};
void SetMonitors(const std::vector<Monitor>& monitors);
void SetMonitorDpi(UINT dpi);  // of the primary monitor
std::vector<Monitor> Monitors();
// The monitors with their handles, read together, and a count that grows
// each time the displays change (a monitor added, removed, moved, resized,
// renamed or made the primary), so a reader can tell that what it read is stale.
struct MonitorState {
  std::vector<Monitor> monitors;  // in the machine's display order
  std::vector<HMONITOR> handles;  // parallel to `monitors`
  std::uint64_t changes = 0;
};
MonitorState CurrentMonitorState();

// Back to one 96-DPI monitor and no message log; leaves windows, classes and
// queues alone (they are objects that still exist).
void ResetWindowing();

}  // namespace winsim
