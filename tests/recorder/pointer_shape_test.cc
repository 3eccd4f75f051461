// The pointer blend of the duplication path: each of DXGI's three pointer
// formats against what the display shows for it, and the clipping that keeps
// a pointer at an edge (or a malformed shape) inside the picture.
#include "recorder/video/pointer_shape.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace morl::recorder {
namespace {

constexpr std::uint8_t kGrey = 0x40;

struct Picture {
  std::int32_t width = 4;
  std::int32_t height = 4;
  std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(4 * 4 * 4, kGrey);

  PictureView View() { return PictureView{pixels.data(), width * 4, width, height, 0, 0}; }
  std::uint8_t Blue(int x, int y) const { return pixels[(y * width + x) * 4]; }
};

// A 1 x 1 shape whose one pixel is `b, g, r, a` (or, monochrome, whose AND and
// XOR bits are `and_bit`, `xor_bit`).
PointerState OnePixel(PointerFormat format, std::uint8_t b, std::uint8_t a, int x = 1, int y = 1) {
  PointerState state;
  state.visible = true;
  state.x = x;
  state.y = y;
  state.shape.format = format;
  state.shape.width = 1;
  state.shape.height = 1;
  if (format == PointerFormat::kMonochrome) {
    state.shape.pitch = 1;
    state.shape.bytes = {static_cast<std::uint8_t>(b ? 0x80 : 0),
                         static_cast<std::uint8_t>(a ? 0x80 : 0)};
  } else {
    state.shape.pitch = 4;
    state.shape.bytes = {b, b, b, a};
  }
  return state;
}

TEST(PointerBlend, EachFormatGivesWhatTheDisplayShows) {
  struct Case {
    const char* name;
    PointerFormat format;
    std::uint8_t first;   // colour, or the AND bit
    std::uint8_t second;  // alpha / mask, or the XOR bit
    std::uint8_t expected;
  } const cases[] = {
      {"opaque colour", PointerFormat::kColor, 0xC0, 0xFF, 0xC0},
      {"transparent colour", PointerFormat::kColor, 0xC0, 0x00, kGrey},
      {"half colour", PointerFormat::kColor, 0xC0, 0x80, (0xC0 * 128 + kGrey * 127 + 127) / 255},
      {"masked: replace", PointerFormat::kMaskedColor, 0xC0, 0x00, 0xC0},
      {"masked: xor", PointerFormat::kMaskedColor, 0xFF, 0xFF, kGrey ^ 0xFF},
      {"mono: black", PointerFormat::kMonochrome, 0, 0, 0x00},
      {"mono: white", PointerFormat::kMonochrome, 0, 1, 0xFF},
      {"mono: transparent", PointerFormat::kMonochrome, 1, 0, kGrey},
      {"mono: invert", PointerFormat::kMonochrome, 1, 1, kGrey ^ 0xFF},
  };
  for (const Case& c : cases) {
    Picture picture;
    BlendPointer(OnePixel(c.format, c.first, c.second), picture.View());
    EXPECT_EQ(picture.Blue(1, 1), c.expected) << c.name;
    EXPECT_EQ(picture.Blue(0, 0), kGrey) << c.name << ": only the pointer's pixel changes";
  }
}

TEST(PointerBlend, DrawsOnlyWhatLiesInThePictureAndNothingMalformed) {
  struct Case {
    const char* name;
    int x, y;
    bool visible;
    std::int32_t pitch;      // of a 2 x 2 opaque colour shape
    std::size_t bytes;
    PointerBox expected;     // the covered box
  } const cases[] = {
      {"inside", 1, 1, true, 8, 16, {1, 1, 2, 2}},
      {"over the top-left corner", -1, -1, true, 8, 16, {0, 0, 1, 1}},
      {"over the bottom-right corner", 3, 3, true, 8, 16, {3, 3, 1, 1}},
      {"wholly outside", 4, 0, true, 8, 16, {0, 0, 0, 0}},
      {"far outside", INT32_MAX, INT32_MIN, true, 8, 16, {0, 0, 0, 0}},
      {"hidden", 1, 1, false, 8, 16, {0, 0, 0, 0}},
      {"pitch shorter than a row", 1, 1, true, 4, 16, {0, 0, 0, 0}},
      {"bytes shorter than the rows", 1, 1, true, 8, 15, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    PointerState state;
    state.visible = c.visible;
    state.x = c.x;
    state.y = c.y;
    state.shape.width = 2;
    state.shape.height = 2;
    state.shape.pitch = c.pitch;
    state.shape.bytes.assign(c.bytes, 0xFF);
    const PointerBox box = CoveredBox(state, 0, 0, 4, 4);
    EXPECT_EQ(box.left, c.expected.left) << c.name;
    EXPECT_EQ(box.top, c.expected.top) << c.name;
    EXPECT_EQ(box.width, c.expected.width) << c.name;
    EXPECT_EQ(box.height, c.expected.height) << c.name;
    Picture picture;
    BlendPointer(state, picture.View());
    int changed = 0;
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 4; ++x) changed += picture.Blue(x, y) != kGrey;
    }
    EXPECT_EQ(changed, c.expected.width * c.expected.height) << c.name;
  }
}

TEST(PointerBlend, APictureWithAnOriginTakesThePointerAtItsOwnPlace) {
  // The staging copy of the pixels under the pointer starts at (2, 3) of the
  // frame: the pointer at (2, 3) lands on its first pixel.
  Picture picture;
  PictureView view = picture.View();
  view.left = 2;
  view.top = 3;
  BlendPointer(OnePixel(PointerFormat::kColor, 0xC0, 0xFF, 2, 3), view);
  EXPECT_EQ(picture.Blue(0, 0), 0xC0);
  EXPECT_EQ(picture.Blue(1, 1), kGrey);
}

}  // namespace
}  // namespace morl::recorder
