// A known desktop for the screen-grab check: the primary display painted in
// two colours (top half, bottom half) and the mouse cursor placed on it.
// Under Windows (Wine) a top-most borderless window covers the display; on
// the simulated machine the screen and cursor are set directly.
#pragma once

#include <cstdint>

namespace capture_live {

struct CursorShape {
  int hotspot_x = 0;
  int hotspot_y = 0;
};

class TwoToneDesktop {
 public:
  // Colours are 0x00RRGGBB.
  TwoToneDesktop(std::uint32_t top, std::uint32_t bottom);
  TwoToneDesktop(const TwoToneDesktop&) = delete;
  TwoToneDesktop& operator=(const TwoToneDesktop&) = delete;
  ~TwoToneDesktop();

  bool Shown() const { return shown_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Moves the cursor to (x, y), shows the arrow there, and reports its
  // hotspot as the system gives it; false when the cursor did not move.
  bool PlaceCursor(int x, int y, CursorShape& shape);

 private:
  bool shown_ = false;
  int width_ = 0;
  int height_ = 0;
  void* window_ = nullptr;
};

}  // namespace capture_live
