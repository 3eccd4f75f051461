// The displays a recording can show, as EnumDisplayMonitors lists them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace morl::recorder {

struct DisplayInfo {
  std::int32_t id = 0;  // the display's place in EnumDisplayMonitors' order
  HMONITOR monitor = nullptr;
  std::wstring name;  // the monitor's device name, UTF-16
  // Physical pixels in virtual-screen coordinates (the primary's top-left
  // corner is 0, 0).
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool primary = false;
  std::int32_t dpi = 96;  // effective DPI; 96 when the monitor does not say
};

// Every display, in enumeration order. A monitor whose information cannot be
// read is left out, and the others keep their ids.
std::vector<DisplayInfo> ListDisplays();

// The display with `id`, or null.
const DisplayInfo* FindDisplay(const std::vector<DisplayInfo>& displays, std::int32_t id);

}  // namespace morl::recorder
