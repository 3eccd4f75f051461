// The machine file's "displays" key: several displays side by side on one
// virtual screen, each with its own monitor entry and its own still picture.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "machine/machine_areas.h"
#include "machine/machine_screen.h"
#include "winsim_windows.h"

namespace winsim {
namespace {

constexpr std::size_t kMaxDisplays = 16;
constexpr int kMaxSide = 16384;

// Colours that tell displays apart when the file gives none.
constexpr std::uint32_t kDefaultColors[] = {0x2060C0, 0xC04020, 0x20A040, 0xC0C020};

struct DisplayEntry {
  Monitor monitor;
  std::uint32_t color = 0;
  bool gradient = false;
};

bool Overlap(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool ReadDisplay(const nlohmann::json& value, std::size_t index, DisplayEntry* entry,
                 bool* marked_primary, std::string* error) {
  const std::string where = "display " + std::to_string(index) + ": ";
  if (!value.is_object()) {
    *error = where + "must be an object";
    return false;
  }
  int left = 0, top = 0, width = 0, height = 0, dpi = 96;
  std::string name, pattern = "solid";
  entry->color = kDefaultColors[index % std::size(kDefaultColors)];
  if (!OnlyKnownKeys(
          value, {"left", "top", "width", "height", "primary", "dpi", "name", "color", "pattern"},
          error) ||
      !ReadInt(value, "left", &left, error) || !ReadInt(value, "top", &top, error) ||
      !ReadInt(value, "width", &width, error) || !ReadInt(value, "height", &height, error) ||
      !ReadBool(value, "primary", marked_primary, error) || !ReadInt(value, "dpi", &dpi, error) ||
      !ReadString(value, "name", &name, error) ||
      !ReadColor(value, "color", &entry->color, error) ||
      !ReadString(value, "pattern", &pattern, error)) {
    *error = where + *error;
    return false;
  }
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
    *error = where + "\"width\" and \"height\" must be 1 to 16384 pixels";
    return false;
  }
  if (left < -kMaxSide * 4 || left > kMaxSide * 4 || top < -kMaxSide * 4 || top > kMaxSide * 4) {
    *error = where + "\"left\" and \"top\" must be within 65536 pixels of the primary";
    return false;
  }
  if (dpi < 24 || dpi > 960) {
    *error = where + "\"dpi\" must be 24 to 960";
    return false;
  }
  if (name.size() >= static_cast<std::size_t>(CCHDEVICENAME) ||
      name.find('\0') != std::string::npos) {
    *error = where + "\"name\" must be at most 31 characters";
    return false;
  }
  if (pattern != "solid" && pattern != "gradient") {
    *error = where + "\"pattern\" must be \"solid\" or \"gradient\"";
    return false;
  }
  entry->monitor.rect = RECT{left, top, left + width, top + height};
  entry->monitor.dpi = static_cast<UINT>(dpi);
  entry->monitor.name.assign(name.begin(), name.end());
  entry->gradient = pattern == "gradient";
  return true;
}

// Paints one display into the virtual-screen buffer: its colour, or a
// gradient whose red rises left to right and green top to bottom across the
// display (blue is the colour's), so every pixel tells where it lies.
void PaintDisplay(Screen& screen, const DisplayEntry& entry) {
  const RECT& r = entry.monitor.rect;
  const int width = r.right - r.left, height = r.bottom - r.top;
  for (int y = 0; y < height; ++y) {
    std::uint32_t* row = screen.pixels.data() +
                         static_cast<std::size_t>(r.top - screen.top + y) * screen.width +
                         (r.left - screen.left);
    const std::uint32_t green = height > 1 ? static_cast<std::uint32_t>(y * 255 / (height - 1)) : 0;
    for (int x = 0; x < width; ++x) {
      if (!entry.gradient) {
        row[x] = entry.color & 0xFFFFFF;
        continue;
      }
      const std::uint32_t red = width > 1 ? static_cast<std::uint32_t>(x * 255 / (width - 1)) : 0;
      row[x] = (red << 16) | (green << 8) | (entry.color & 0xFF);
    }
  }
}

}  // namespace

// "displays": [{"left": 0, "top": 0, "width": 1920, "height": 1080, "primary": true,
//               "dpi": 96, "name": "\\\\.\\DISPLAY1", "color": "#RRGGBB",
//               "pattern": "solid" | "gradient"}, ...]
// Monitors are enumerated in the list's order. The primary (the one marked,
// else the first) must have its top-left at (0, 0), as Windows puts it, and
// displays must not overlap. Gaps between displays read black. "color" and
// "pattern" only paint the simulated screen, so that recordings can be told
// apart: each display is still, in its own colour by default.
bool ApplyDisplaysKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_array() || value.empty() || value.size() > kMaxDisplays) {
    *error = "must be a list of 1 to 16 displays";
    return false;
  }
  std::vector<DisplayEntry> displays(value.size());
  std::size_t primary = 0;
  int marked = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    bool is_primary = false;
    if (!ReadDisplay(value[i], i, &displays[i], &is_primary, error)) return false;
    if (is_primary && marked++ == 0) primary = i;
  }
  if (marked > 1) {
    *error = "only one display can be the primary";
    return false;
  }
  const RECT& origin = displays[primary].monitor.rect;
  if (origin.left != 0 || origin.top != 0) {
    *error = "the primary display (" + std::to_string(primary) +
             ") must have its top-left corner at 0, 0";
    return false;
  }
  RECT bounds = origin;
  for (std::size_t i = 0; i < displays.size(); ++i) {
    const RECT& r = displays[i].monitor.rect;
    for (std::size_t j = 0; j < i; ++j) {
      if (Overlap(r, displays[j].monitor.rect)) {
        *error = "displays " + std::to_string(j) + " and " + std::to_string(i) + " overlap";
        return false;
      }
    }
    bounds.left = std::min(bounds.left, r.left);
    bounds.top = std::min(bounds.top, r.top);
    bounds.right = std::max(bounds.right, r.right);
    bounds.bottom = std::max(bounds.bottom, r.bottom);
  }
  const std::int64_t area =
      static_cast<std::int64_t>(bounds.right - bounds.left) * (bounds.bottom - bounds.top);
  if (area > std::int64_t{kMaxSide} * kMaxSide) {
    *error = "the displays span more than 16384 x 16384 pixels";
    return false;
  }

  std::vector<Monitor> monitors;
  for (std::size_t i = 0; i < displays.size(); ++i) {
    displays[i].monitor.primary = i == primary;
    monitors.push_back(displays[i].monitor);
  }
  SetVirtualScreen(bounds, origin.right, origin.bottom, [&](Screen& screen) {
    for (const DisplayEntry& entry : displays) PaintDisplay(screen, entry);
  });
  SetMonitors(monitors);
  return true;
}

}  // namespace winsim
