// The mouse pointer as desktop duplication reports it (its shape in one of
// DXGI's three pointer formats, its position and whether it shows), and the
// blend that draws it onto a 32-bit BGRX picture the way the display would:
// a colour pointer alpha-blended, a masked-colour one replacing or inverting
// pixels by its mask, a monochrome one through its AND and XOR masks.
#pragma once

#include <cstdint>
#include <vector>

namespace morl::recorder {

enum class PointerFormat { kMonochrome, kColor, kMaskedColor };

struct PointerShape {
  PointerFormat format = PointerFormat::kColor;
  std::int32_t width = 0;
  std::int32_t height = 0;  // of the pointer; a monochrome shape holds two masks of this height
  std::int32_t pitch = 0;   // bytes per row of `bytes`
  std::int32_t hotspot_x = 0;
  std::int32_t hotspot_y = 0;
  std::vector<std::uint8_t> bytes;
};

struct PointerState {
  bool visible = false;
  std::int32_t x = 0;  // the shape's top-left corner on the duplicated output
  std::int32_t y = 0;
  PointerShape shape;
};

// A top-down BGRX picture to draw into; `left`, `top`: its origin on the
// output, so the pointer lands at (state.x - left, state.y - top).
struct PictureView {
  std::uint8_t* pixels = nullptr;
  std::int32_t pitch = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t left = 0;
  std::int32_t top = 0;
};

// The part of `picture` the pointer covers, in the picture's pixels; empty
// (width or height 0) when it covers none or does not show.
struct PointerBox {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};
PointerBox CoveredBox(const PointerState& state, std::int32_t picture_left,
                      std::int32_t picture_top, std::int32_t picture_width,
                      std::int32_t picture_height);

// Draws the pointer into `picture`, clipped to it; nothing when it does not
// show or its shape is malformed (a pitch or size that does not fit its bytes).
void BlendPointer(const PointerState& state, const PictureView& picture);

}  // namespace morl::recorder
