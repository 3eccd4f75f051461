// DisplayWatch: where the recorded display is now. The video worker looks
// before every frame, so a display change (WM_DISPLAYCHANGE goes to windows,
// which the worker has none of; the monitor's rectangle is what changes) is
// seen within one frame: a display that changed resolution or position gives
// the area to capture now, one that went away gives none until it returns.
// A display that returns has a new handle, so it is found again by its
// device name. A region is clipped to the display's new size again, and one
// with nothing left of it gives no area either.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "recorder/start_options.h"
#include "recorder/video/capture_area.h"

namespace morl::recorder {

class DisplayWatch {
 public:
  enum class Sight {
    kShown,      // `area` is what to capture
    kGone,       // the display is not attached
    kRegionOff,  // the display is there, but nothing of the region is on it
  };
  struct Look {
    bool changed = false;  // the area differs from the one of the look before
    Sight sight = Sight::kShown;
    CaptureArea area;  // when shown
  };

  // Watches `monitor`, recorded as `area` (with `region` of it, in the
  // display's pixels, when only a region is). Without a monitor nothing is
  // watched: every look is the unchanged `area`.
  DisplayWatch(HMONITOR monitor, const std::optional<CaptureRegion>& region, CaptureArea area);

  Look Check();

 private:
  HMONITOR monitor_;
  std::wstring name_;  // the display's device name
  std::optional<CaptureRegion> region_;
  RECT rect_{};  // the display's rectangle at the last look that saw it
  Look last_;
};

}  // namespace morl::recorder
