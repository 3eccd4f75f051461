// What desktop duplication samples of the machine at each vertical blank:
// a display's pixels and the pointer over it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace winsim::dxgi {

constexpr int kRefreshHz = 60;

// Blank `index` is at the first machine time at or after index / 60 s.
std::int64_t BlankTime(std::int64_t index);
std::int64_t BlankAtOrBefore(std::int64_t time);
// Waits on the machine's clock (a manual clock moves there at once).
void WaitUntilMachineTime(std::int64_t time);
// The performance counter's value at machine time `time`.
LONGLONG CounterAt(std::int64_t time);

struct PointerState {
  bool visible = false;  // showing, with its hot spot on the display
  POINT position{};      // the image's top-left, relative to the display
  int width = 0, height = 0;
  POINT hot_spot{};
  std::vector<std::uint32_t> shape;  // 0xAARRGGBB, top-down

  bool SameShape(const PointerState& other) const;
  bool operator==(const PointerState& other) const;
};

// The pointer as it shows over the display `rect` (virtual-screen
// coordinates) now.
PointerState ReadPointer(const RECT& rect);

// The pixels of `rect` now, 0xFFRRGGBB, rows top-down; black where no
// screen is. Gives whether the desktop animates by itself.
bool ReadDesktop(const RECT& rect, std::vector<std::uint32_t>* pixels);
// ReadDesktop into rows `row_pixels` apart at `pixels`, which must hold
// them all.
bool ReadDesktop(const RECT& rect, std::uint32_t* pixels, std::size_t row_pixels);
// Whether the desktop animates by itself (changes at every blank).
bool DesktopAnimated();

}  // namespace winsim::dxgi
