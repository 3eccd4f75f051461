// ScreenGrabber: copies a width x height rectangle of the virtual screen
// (by default the primary display's top-left corner), with the mouse cursor
// drawn in, into a 32-bit bottom-up DIB section (black until the first
// picture is read). The frame is BGRX, stride
// width x 4, first row = bottom row of the screen, exactly FrameBytes() long.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "recorder/video/gdi_handles.h"

namespace morl::recorder {

class ScreenGrabber {
 public:
  // Prepares the screen DC, a compatible memory DC and the bitmap selected
  // into it. Ready() tells whether that worked. The rectangle's top-left
  // corner is (left, top) on the virtual screen; the cursor is drawn only
  // while it is on `monitor` (any display when null).
  ScreenGrabber(std::int32_t width, std::int32_t height, std::int32_t left = 0,
                std::int32_t top = 0, HMONITOR monitor = nullptr);
  ScreenGrabber(const ScreenGrabber&) = delete;
  ScreenGrabber& operator=(const ScreenGrabber&) = delete;

  bool Ready() const { return bits_ != nullptr; }
  // Blits the screen into the bitmap and draws the cursor over it; true when
  // the screen could be read. When it cannot (the secure desktop of a UAC
  // prompt or the lock screen), the bitmap keeps the last picture read, with
  // the cursor drawn on it once: drawing it again onto that picture would
  // leave a trail of cursors wherever the mouse went.
  bool Grab();
  const BYTE* Bits() const { return static_cast<const BYTE*>(bits_); }
  DWORD FrameBytes() const { return frame_bytes_; }
  std::int32_t Height() const { return height_; }

 private:
  std::int32_t width_;
  std::int32_t height_;
  std::int32_t left_;
  std::int32_t top_;
  HMONITOR monitor_;
  DWORD frame_bytes_ = 0;
  ScreenDc screen_;
  MemoryDc memory_;
  GdiBitmap bitmap_;
  std::optional<ScopedSelection> selection_;  // undone before bitmap_ is deleted
  void* bits_ = nullptr;
};

}  // namespace morl::recorder
