// The screen and the cursor as the GDI and cursor functions read them.
#pragma once

#include <functional>
#include <vector>

#include "winsim.h"
#include "windows.h"

namespace winsim {

// Moves the desktop to the machine's current time and calls `read` with it,
// under the screen's lock.
void ReadScreen(const std::function<void(const Screen&)>& read);
// Moves the desktop to the machine's current time, stops its animation (what
// is drawn on the screen stays) and calls `write` with it, under the lock.
void WriteScreen(const std::function<void(Screen&)>& write);
// A fresh animated desktop, for Screen::animate.
std::function<void(Screen&, std::int64_t)> MakeDesktopAnimation();
// A fresh timecode desktop: the machine time in milliseconds as 32 stripes
// in the top half, and a bottom half that flashes white for `flash_ms` from
// every multiple of `flash_period_ms` (never, when either is 0).
std::function<void(Screen&, std::int64_t)> MakeTimecodeDesktop(double flash_ms,
                                                               double flash_period_ms);
// Makes the screen buffer the virtual screen `bounds` (its top-left pixel at
// bounds.left, bounds.top), black, still, with SM_CXSCREEN and SM_CYSCREEN
// reporting the primary's size, and calls `paint` on it under the lock.
void SetVirtualScreen(const RECT& bounds, int primary_width, int primary_height,
                      const std::function<void(Screen&)>& paint);
// Hides the cursor unless the machine file has set it (a desktop that must
// be read exactly has nothing drawn over it).
void HideCursorUnlessPlaced();
// What GetSystemMetrics reports for SM_CXSCREEN (0) and SM_CYSCREEN (1).
int ScreenMetric(int index);
// What GetSystemMetrics reports for the virtual screen (the bounding
// rectangle of the monitors) and for SM_CMONITORS.
int VirtualScreenMetric(int index);

// Whether the secure desktop (a UAC prompt, the lock screen) is showing: the
// user's desktop then cannot be read and the cursor is reported hidden.
bool SecureDesktopShowing();

// The cursor moved to the machine's current time, with its image filled in
// (the default arrow when none is set), under the cursor's lock.
Cursor SnapshotCursor();
// A white arrow with a black outline, `width` x `height`, 0xAARRGGBB.
std::vector<std::uint32_t> ArrowImage(int width, int height);

}  // namespace winsim
