#include "recorder/video/display_watch.h"

#include <vector>

#include "recorder/video/display_list.h"

namespace morl::recorder {

namespace {

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::wstring DeviceName(const MONITORINFOEXW& info) {
  std::size_t length = 0;
  while (length < CCHDEVICENAME && info.szDevice[length] != L'\0') ++length;
  return std::wstring(info.szDevice, length);
}

}  // namespace

DisplayWatch::DisplayWatch(HMONITOR monitor, const std::optional<CaptureRegion>& region,
                           CaptureArea area)
    : monitor_(monitor), region_(region) {
  last_.area = area;
  MONITORINFOEXW info{};
  info.cbSize = sizeof info;
  if (monitor_ == nullptr || !GetMonitorInfoW(monitor_, &info)) {
    monitor_ = nullptr;  // nothing to compare with: not watched
    return;
  }
  name_ = DeviceName(info);
  rect_ = info.rcMonitor;
}

DisplayWatch::Look DisplayWatch::Check() {
  Look look = last_;
  look.changed = false;
  if (monitor_ == nullptr) return look;
  MONITORINFOEXW info{};
  info.cbSize = sizeof info;
  RECT rect{};
  if (GetMonitorInfoW(monitor_, &info)) {
    rect = info.rcMonitor;
  } else {
    // The handle ended with the display; a display of the same name is the
    // one that came back.
    const DisplayInfo* found = nullptr;
    const std::vector<DisplayInfo> displays = ListDisplays();
    for (const DisplayInfo& display : displays) {
      if (display.name == name_) found = &display;
    }
    if (found == nullptr) {
      look.sight = Sight::kGone;
      look.changed = last_.sight != Sight::kGone;
      last_ = look;
      return look;
    }
    monitor_ = found->monitor;
    rect = RECT{found->left, found->top, found->left + found->width, found->top + found->height};
  }
  if (last_.sight != Sight::kGone && SameRect(rect, rect_) && last_.area.monitor == monitor_) {
    return look;
  }
  rect_ = rect;
  look.changed = true;
  const std::int32_t width = rect.right - rect.left;
  const std::int32_t height = rect.bottom - rect.top;
  CaptureArea area{rect.left, rect.top, width & ~1, height & ~1, monitor_};
  look.sight = Sight::kShown;
  if (region_) {
    const Result<CaptureArea> part = ClipRegion(*region_, width, height);
    if (part) {
      area = CaptureArea{rect.left + part->left, rect.top + part->top, part->width, part->height,
                         monitor_};
    } else {
      look.sight = Sight::kRegionOff;
    }
  }
  if (area.width < 2 || area.height < 2) look.sight = Sight::kRegionOff;
  look.area = area;
  last_ = look;
  return look;
}

}  // namespace morl::recorder
