#include "recorder/video/capture_area.h"

#include <algorithm>
#include <vector>

#include "recorder/video/display_list.h"

namespace morl::recorder {

namespace {

std::int32_t EvenDown(std::int64_t value) {
  return static_cast<std::int32_t>(value & ~std::int64_t{1});
}

RecorderError BadRegion(std::string message) {
  return RecorderError{"bad_region", std::move(message), E_INVALIDARG};
}

}  // namespace

Result<CaptureArea> ClipRegion(const CaptureRegion& region, std::int32_t display_width,
                               std::int32_t display_height) {
  if (region.width <= 0 || region.height <= 0) {
    return BadRegion("region width and height must be more than 0");
  }
  // 64-bit: left + width may pass the 32-bit range.
  const std::int64_t left = std::max<std::int64_t>(region.left, 0);
  const std::int64_t top = std::max<std::int64_t>(region.top, 0);
  const std::int64_t right =
      std::min<std::int64_t>(std::int64_t{region.left} + region.width, display_width);
  const std::int64_t bottom =
      std::min<std::int64_t>(std::int64_t{region.top} + region.height, display_height);
  if (left >= right || top >= bottom) {
    return BadRegion("region lies outside the display (" + std::to_string(display_width) + " x " +
                     std::to_string(display_height) + ")");
  }
  const std::int32_t width = EvenDown(right - left);
  const std::int32_t height = EvenDown(bottom - top);
  if (width == 0 || height == 0) {
    return BadRegion("region is less than 2 x 2 pixels within the display");
  }
  return CaptureArea{static_cast<std::int32_t>(left), static_cast<std::int32_t>(top), width, height,
                     nullptr};
}

Result<CaptureArea> ResolveCaptureArea(const StartOptions& options) {
  CaptureArea display;
  if (options.display) {
    const std::vector<DisplayInfo> displays = ListDisplays();
    const DisplayInfo* found = FindDisplay(displays, *options.display);
    if (found == nullptr) {
      return RecorderError{"bad_argument",
                           "display " + std::to_string(*options.display) + " is not one of the " +
                               std::to_string(displays.size()) + " displays",
                           E_INVALIDARG};
    }
    display = CaptureArea{found->left, found->top, found->width, found->height, found->monitor};
  } else {
    // The primary display is the one whose top-left corner is the virtual
    // screen's origin.
    display = CaptureArea{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                          MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY)};
  }
  if (!options.region) {
    display.width = EvenDown(std::max(display.width, 0));
    display.height = EvenDown(std::max(display.height, 0));
    return display;
  }
  const Result<CaptureArea> part = ClipRegion(*options.region, display.width, display.height);
  if (!part) return part.error();
  return CaptureArea{display.left + part->left, display.top + part->top, part->width, part->height,
                     display.monitor};
}

}  // namespace morl::recorder
