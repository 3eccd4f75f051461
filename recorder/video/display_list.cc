#include "recorder/video/display_list.h"

#include <shellscalingapi.h>

namespace morl::recorder {

namespace {

constexpr std::int32_t kDefaultDpi = 96;

// Collects the monitor handles. It runs as a C callback of user32, so a
// failure to store one ends the enumeration instead of unwinding through it.
BOOL CALLBACK CollectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  try {
    reinterpret_cast<std::vector<HMONITOR>*>(data)->push_back(monitor);
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}

std::wstring DeviceName(const MONITORINFOEXW& info) {
  std::size_t length = 0;
  while (length < CCHDEVICENAME && info.szDevice[length] != L'\0') ++length;
  return std::wstring(info.szDevice, length);
}

}  // namespace

std::vector<DisplayInfo> ListDisplays() {
  std::vector<HMONITOR> monitors;
  EnumDisplayMonitors(nullptr, nullptr, CollectMonitor, reinterpret_cast<LPARAM>(&monitors));
  std::vector<DisplayInfo> displays;
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitors[i], &info)) continue;
    DisplayInfo display;
    display.id = static_cast<std::int32_t>(i);
    display.monitor = monitors[i];
    display.name = DeviceName(info);
    display.left = info.rcMonitor.left;
    display.top = info.rcMonitor.top;
    display.width = info.rcMonitor.right - info.rcMonitor.left;
    display.height = info.rcMonitor.bottom - info.rcMonitor.top;
    display.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    UINT dpi_x = 0, dpi_y = 0;
    const HRESULT hr = GetDpiForMonitor(monitors[i], MDT_EFFECTIVE_DPI, &dpi_x, &dpi_y);
    display.dpi = SUCCEEDED(hr) && dpi_x > 0 ? static_cast<std::int32_t>(dpi_x) : kDefaultDpi;
    displays.push_back(std::move(display));
  }
  return displays;
}

const DisplayInfo* FindDisplay(const std::vector<DisplayInfo>& displays, std::int32_t id) {
  for (const DisplayInfo& display : displays) {
    if (display.id == id) return &display;
  }
  return nullptr;
}

}  // namespace morl::recorder
