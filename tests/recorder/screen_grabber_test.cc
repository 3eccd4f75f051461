#include "recorder/video/screen_grabber.h"

#include <vector>

#include "video_test_support.h"

using namespace morl::recorder;

namespace {

class ScreenGrabberTest : public VideoTest {
 protected:
  void SetUp() override {
    VideoTest::SetUp();
    winsim::GetCursor().visible = false;
  }
};

TEST_F(ScreenGrabberTest, FrameIsBottomUpBgrxWithoutGaps) {
  constexpr int kW = 7, kH = 5;  // odd width: a padded stride would show
  winsim::SetScreenSize(kW, kH);
  auto& pixels = winsim::GetScreen().pixels;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) pixels[y * kW + x] = 0x100000u * (y + 1) + 0x0100u * x + 0x11;
  }
  ScreenGrabber grabber(kW, kH);
  ASSERT_TRUE(grabber.Ready());
  ASSERT_EQ(grabber.FrameBytes(), DWORD{kW * kH * 4});
  grabber.Grab();
  // Memory row r is screen row kH - 1 - r; bytes blue, green, red, unused.
  const BYTE* bits = grabber.Bits();
  for (int r = 0; r < kH; ++r) {
    for (int x = 0; x < kW; ++x) {
      const std::uint32_t rgb = pixels[(kH - 1 - r) * kW + x];
      const BYTE* p = bits + (r * kW + x) * 4;
      EXPECT_EQ(p[0], rgb & 0xFF);
      EXPECT_EQ(p[1], (rgb >> 8) & 0xFF);
      EXPECT_EQ(p[2], (rgb >> 16) & 0xFF);
    }
  }
}

TEST_F(ScreenGrabberTest, OddDisplayLosesLastColumnAndRow) {
  // A 1367 x 769 display is recorded as 1366 x 768.
  winsim::SetScreenSize(1367, 769);
  auto& pixels = winsim::GetScreen().pixels;
  for (int y = 0; y < 769; ++y) {
    for (int x = 0; x < 1367; ++x) {
      pixels[y * 1367 + x] = (x == 1366 || y == 768) ? 0x00FF00u : y == 767 ? 0xFF0000u : 0x404040u;
    }
  }
  ScreenGrabber grabber(1366, 768);
  ASSERT_TRUE(grabber.Ready());
  EXPECT_EQ(grabber.FrameBytes(), 1366u * 768u * 4u);
  grabber.Grab();
  int green = 0;
  for (int y = 0; y < 768; ++y) {
    for (int x = 0; x < 1366; ++x)
      green += FramePixel(grabber.Bits(), 1366, 768, x, y) == 0x00FF00u;
  }
  EXPECT_EQ(green, 0);
  // The first row in memory is screen row 767.
  EXPECT_EQ(FramePixel(grabber.Bits(), 1366, 768, 1365, 767), 0xFF0000u);
  EXPECT_EQ(FramePixel(grabber.Bits(), 1366, 768, 0, 0), 0x404040u);
}

TEST_F(ScreenGrabberTest, DrawsCursorAtHotspotOffsetAndClipsIt) {
  constexpr int kW = 32, kH = 24;
  constexpr std::uint32_t kGreen = 0x00FF00u;
  struct Case {
    const char* name;
    bool visible;
    int x, y, hotspot_x, hotspot_y;
    int left, top;  // expected top-left of the 4 x 4 image, screen coordinates
  } const cases[] = {
      {"plain", true, 10, 10, 0, 0, 10, 10},
      {"hotspot", true, 10, 10, 1, 2, 9, 8},
      {"hidden", false, 10, 10, 0, 0, kW, kH},  // nothing drawn
      {"top-left edge", true, 0, 0, 1, 2, -1, -2},
      {"bottom-right edge", true, kW - 1, kH - 2, 0, 0, kW - 1, kH - 2},
      {"off screen", true, kW + 3, 5, 0, 0, kW + 3, 5},
  };
  winsim::SetScreenSize(kW, kH);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::FillScreen(0x000000u);
    winsim::Cursor& cursor = winsim::GetCursor();
    cursor.visible = c.visible;
    cursor.x = c.x;
    cursor.y = c.y;
    cursor.hotspot_x = c.hotspot_x;
    cursor.hotspot_y = c.hotspot_y;
    cursor.width = 4;
    cursor.height = 4;
    cursor.image.assign(16, 0xFF000000u | kGreen);
    ScreenGrabber grabber(kW, kH);
    ASSERT_TRUE(grabber.Ready());
    grabber.Grab();
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const bool inside = x >= c.left && x < c.left + 4 && y >= c.top && y < c.top + 4;
        ASSERT_EQ(FramePixel(grabber.Bits(), kW, kH, x, y), inside ? kGreen : 0u)
            << "at " << x << ", " << y;
      }
    }
  }
}

TEST_F(ScreenGrabberTest, NotReadyWhenTheBitmapCannotBeCreated) {
  winsim::SetScreenSize(16, 16);
  winsim::FailCall("CreateDIBSection", E_OUTOFMEMORY);
  ScreenGrabber grabber(16, 16);
  EXPECT_FALSE(grabber.Ready());
  ScreenGrabber empty(0, 16);
  EXPECT_FALSE(empty.Ready());
}

}  // namespace
