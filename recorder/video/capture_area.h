// Where on the virtual screen a recording copies its frames from: the whole
// primary display by default, another display, or a region of one.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "recorder/recorder_error.h"
#include "recorder/start_options.h"

namespace morl::recorder {

// A rectangle of the virtual screen (the primary display's top-left corner is
// 0, 0), with even width and height, and the monitor it lies on.
struct CaptureArea {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  HMONITOR monitor = nullptr;  // the recorded display; null: not known
};

// Whether `a` and `b` are the same rectangle of the virtual screen.
inline bool SameRectangle(const CaptureArea& a, const CaptureArea& b) {
  return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

// The part of a `display_width` x `display_height` display that `region` (in
// that display's pixels) covers, rounded down to even width and height, as
// an offset into the display. When nothing of it is left, a "bad_region"
// error whose message says why.
Result<CaptureArea> ClipRegion(const CaptureRegion& region, std::int32_t display_width,
                               std::int32_t display_height);

// The area `options` asks for. Without a display the primary is recorded, at
// the size GetSystemMetrics reports for it. An unknown display id fails with
// "bad_argument", a region with nothing left of it with "bad_region". The
// width and height may be 0 when the display has no pixels; the caller
// reports that.
Result<CaptureArea> ResolveCaptureArea(const StartOptions& options);

}  // namespace morl::recorder
