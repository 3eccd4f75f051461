#include "recorder/video/pointer_shape.h"

#include <algorithm>

namespace morl::recorder {

namespace {

// Whether `shape`'s bytes hold its rows: a malformed shape is not drawn.
bool ShapeFits(const PointerShape& shape) {
  if (shape.width <= 0 || shape.height <= 0 || shape.pitch <= 0) return false;
  const std::int64_t row_bytes = shape.format == PointerFormat::kMonochrome
                                     ? (std::int64_t{shape.width} + 7) / 8
                                     : std::int64_t{shape.width} * 4;
  const std::int64_t rows = shape.format == PointerFormat::kMonochrome
                                ? std::int64_t{shape.height} * 2
                                : std::int64_t{shape.height};
  return row_bytes <= shape.pitch && rows * shape.pitch <= std::int64_t(shape.bytes.size());
}

bool MaskBit(const std::uint8_t* row, std::int32_t x) {
  return (row[x / 8] & (0x80 >> (x % 8))) != 0;
}

void BlendPixel(const PointerShape& shape, std::int32_t sx, std::int32_t sy, std::uint8_t* pixel) {
  const std::uint8_t* base = shape.bytes.data();
  switch (shape.format) {
    case PointerFormat::kMonochrome: {
      // The AND mask's rows first, then the XOR mask's.
      const bool keep = MaskBit(base + std::int64_t{sy} * shape.pitch, sx);
      const bool invert = MaskBit(base + (std::int64_t{sy} + shape.height) * shape.pitch, sx);
      for (int c = 0; c < 3; ++c) {
        std::uint8_t value = keep ? pixel[c] : 0;
        if (invert) value ^= 0xFF;
        pixel[c] = value;
      }
      return;
    }
    case PointerFormat::kColor: {
      const std::uint8_t* source = base + std::int64_t{sy} * shape.pitch + std::int64_t{sx} * 4;
      const unsigned alpha = source[3];
      for (int c = 0; c < 3; ++c) {
        pixel[c] = static_cast<std::uint8_t>((source[c] * alpha + pixel[c] * (255 - alpha) + 127) /
                                             255);
      }
      return;
    }
    case PointerFormat::kMaskedColor: {
      // The alpha byte is the mask: 0 puts the pointer's colour, 0xFF XORs
      // the picture with it.
      const std::uint8_t* source = base + std::int64_t{sy} * shape.pitch + std::int64_t{sx} * 4;
      for (int c = 0; c < 3; ++c) {
        pixel[c] = source[3] == 0 ? source[c] : static_cast<std::uint8_t>(pixel[c] ^ source[c]);
      }
      return;
    }
  }
}

}  // namespace

PointerBox CoveredBox(const PointerState& state, std::int32_t picture_left,
                      std::int32_t picture_top, std::int32_t picture_width,
                      std::int32_t picture_height) {
  if (!state.visible || !ShapeFits(state.shape)) return {};
  const std::int64_t left = std::int64_t{state.x} - picture_left;
  const std::int64_t top = std::int64_t{state.y} - picture_top;
  const std::int64_t x0 = std::max<std::int64_t>(left, 0);
  const std::int64_t y0 = std::max<std::int64_t>(top, 0);
  const std::int64_t x1 = std::min<std::int64_t>(left + state.shape.width, picture_width);
  const std::int64_t y1 = std::min<std::int64_t>(top + state.shape.height, picture_height);
  if (x1 <= x0 || y1 <= y0) return {};
  return PointerBox{static_cast<std::int32_t>(x0), static_cast<std::int32_t>(y0),
                    static_cast<std::int32_t>(x1 - x0), static_cast<std::int32_t>(y1 - y0)};
}

void BlendPointer(const PointerState& state, const PictureView& picture) {
  const PointerBox box =
      CoveredBox(state, picture.left, picture.top, picture.width, picture.height);
  const std::int64_t shape_left = std::int64_t{state.x} - picture.left;
  const std::int64_t shape_top = std::int64_t{state.y} - picture.top;
  for (std::int32_t y = box.top; y < box.top + box.height; ++y) {
    std::uint8_t* row = picture.pixels + std::int64_t{y} * picture.pitch;
    for (std::int32_t x = box.left; x < box.left + box.width; ++x) {
      BlendPixel(state.shape, static_cast<std::int32_t>(x - shape_left),
                 static_cast<std::int32_t>(y - shape_top), row + std::int64_t{x} * 4);
    }
  }
}

}  // namespace morl::recorder
