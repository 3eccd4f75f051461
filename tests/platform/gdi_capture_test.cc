#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/machine_test.h"

namespace {

class GdiCaptureTest : public machine_test::MachineTest {
 protected:
  void TearDown() override {
    if (memory_) {
      SelectObject(memory_, previous_);
      DeleteObject(bitmap_);
      DeleteDC(memory_);
    }
    if (screen_) ReleaseDC(nullptr, screen_);
  }

  // A screen whose pixel (x, y) is 0xFF000000 | y << 8 | x: the top byte
  // must not reach the bitmap.
  static void NumberedScreen(int width, int height) {
    winsim::SetScreenSize(width, height);
    winsim::Screen& screen = winsim::GetScreen();
    screen.animate = nullptr;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) screen.pixels[y * width + x] = 0xFF000000u | y << 8 | x;
    }
  }
  static std::uint32_t Numbered(int x, int y) { return static_cast<std::uint32_t>(y << 8 | x); }

  // A memory DC holding a width x height DIB (negative height: top-down),
  // every pixel set to kUntouched.
  std::uint32_t* MakeDib(int width, int height) {
    screen_ = GetDC(nullptr);
    memory_ = CreateCompatibleDC(screen_);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(screen_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    EXPECT_NE(bitmap_, nullptr);
    previous_ = SelectObject(memory_, bitmap_);
    EXPECT_NE(previous_, nullptr);
    auto* pixels = static_cast<std::uint32_t*>(bits);
    std::fill(pixels, pixels + width * (height < 0 ? -height : height), kUntouched);
    return pixels;
  }

  static constexpr std::uint32_t kUntouched = 0xAB00CDEF;
  HDC screen_ = nullptr;
  HDC memory_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
};

TEST_F(GdiCaptureTest, BitBltFillsBottomUpAndTopDownDibsInTheirRowOrder) {
  for (const int sign : {+1, -1}) {
    SCOPED_TRACE(sign > 0 ? "bottom-up" : "top-down");
    NumberedScreen(4, 3);
    std::uint32_t* bits = MakeDib(4, 3 * sign);
    ASSERT_TRUE(BitBlt(memory_, 0, 0, 4, 3, screen_, 0, 0, SRCCOPY | CAPTUREBLT));
    EXPECT_EQ(SRCCOPY | CAPTUREBLT, 0x40CC0020u);
    for (int row = 0; row < 3; ++row) {
      const int screen_y = sign > 0 ? 2 - row : row;
      for (int x = 0; x < 4; ++x) EXPECT_EQ(bits[row * 4 + x], Numbered(x, screen_y));
    }
    TearDown();
    memory_ = nullptr;
    screen_ = nullptr;
  }
}

TEST_F(GdiCaptureTest, BitBltClipsToScreenAndBitmap) {
  const struct {
    const char* name;
    int dib_w, dib_h, x, y, cx, cy, x1, y1;
  } cases[] = {
      {"screen smaller than the request", 6, 5, 0, 0, 6, 5, 0, 0},
      {"source partly off the right and bottom", 4, 4, 0, 0, 4, 4, 2, 1},
      {"negative destination", 4, 4, -1, -2, 4, 4, 0, 0},
      {"negative source", 4, 4, 0, 0, 4, 4, -3, -1},
      {"destination beyond the bitmap", 3, 3, 2, 2, 5, 5, 0, 0},
      {"entirely outside", 3, 3, 10, 10, 2, 2, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NumberedScreen(4, 3);
    std::uint32_t* bits = MakeDib(c.dib_w, -c.dib_h);  // top-down: row = y
    EXPECT_TRUE(BitBlt(memory_, c.x, c.y, c.cx, c.cy, screen_, c.x1, c.y1, SRCCOPY));
    for (int y = 0; y < c.dib_h; ++y) {
      for (int x = 0; x < c.dib_w; ++x) {
        const int sx = x - c.x + c.x1, sy = y - c.y + c.y1;
        // Inside the target rectangle, what lies off the screen reads black;
        // outside it the bitmap is left as it was.
        const bool target = x >= c.x && y >= c.y && x < c.x + c.cx && y < c.y + c.cy;
        const bool on_screen = sx >= 0 && sy >= 0 && sx < 4 && sy < 3;
        EXPECT_EQ(bits[y * c.dib_w + x], !target     ? kUntouched
                                         : on_screen ? Numbered(sx, sy)
                                                     : 0u)
            << "at " << x << "," << y;
      }
    }
    TearDown();
    memory_ = nullptr;
    screen_ = nullptr;
  }
}

TEST_F(GdiCaptureTest, BitBltCopiesLongRowsAtAnyOffset) {
  // Rows long enough for bulk copying, placed so that runs start and end at
  // every alignment of the target.
  constexpr int kWidth = 45, kHeight = 4;
  for (int shift = 0; shift < 4; ++shift) {
    SCOPED_TRACE(shift);
    NumberedScreen(kWidth, kHeight);
    std::uint32_t* bits = MakeDib(kWidth, -kHeight);
    const int cx = kWidth - 2 * shift;
    ASSERT_TRUE(BitBlt(memory_, shift, 1, cx, kHeight, screen_, 2 * shift, 0, SRCCOPY));
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const int sx = x - shift + 2 * shift, sy = y - 1;
        const bool copied = x >= shift && x < shift + cx && sy >= 0 && sx < kWidth;
        ASSERT_EQ(bits[y * kWidth + x], copied ? Numbered(sx, sy) : kUntouched)
            << "at " << x << "," << y;
      }
    }
    TearDown();
    memory_ = nullptr;
    screen_ = nullptr;
  }
}

TEST_F(GdiCaptureTest, CursorIsBlendedAtItsHotspotAndClippedAtEveryEdge) {
  winsim::FillScreen(0x000000);
  winsim::Cursor& cursor = winsim::GetCursor();
  cursor.width = 2;
  cursor.height = 2;
  cursor.hotspot_x = 1;
  cursor.hotspot_y = 1;
  // Opaque white, transparent, half-transparent red, opaque blue.
  cursor.image = {0xFFFFFFFF, 0x00FFFFFF, 0x80FF0000, 0xFF0000FF};
  std::uint32_t* bits = MakeDib(4, -4);
  std::fill(bits, bits + 16, 0x00202020u);

  for (const auto& at : std::vector<POINT>{{2, 2}, {0, 0}, {4, 4}, {0, 4}, {4, 0}, {-5, 9}}) {
    SCOPED_TRACE(testing::Message() << "cursor at " << at.x << "," << at.y);
    std::fill(bits, bits + 16, 0x00202020u);
    cursor.x = at.x;
    cursor.y = at.y;
    CURSORINFO info{sizeof(CURSORINFO), 0, nullptr, {0, 0}};
    ASSERT_TRUE(GetCursorInfo(&info));
    ICONINFO icon{};
    ASSERT_TRUE(GetIconInfo(info.hCursor, &icon));
    EXPECT_EQ(icon.xHotspot, 1u);
    ASSERT_TRUE(DrawIconEx(memory_, info.ptScreenPos.x - static_cast<int>(icon.xHotspot),
                           info.ptScreenPos.y - static_cast<int>(icon.yHotspot), info.hCursor, 0, 0,
                           0, nullptr, DI_NORMAL));
    EXPECT_TRUE(DeleteObject(icon.hbmMask));
    EXPECT_TRUE(DeleteObject(icon.hbmColor));
    const int left = at.x - 1, top = at.y - 1;
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 4; ++x) {
        std::uint32_t expected = 0x00202020;
        if (x == left && y == top) expected = 0x00FFFFFF;
        if (x == left && y == top + 1) expected = 0x00901010;  // (255*128 + 32*127) / 255
        if (x == left + 1 && y == top + 1) expected = 0x000000FF;
        EXPECT_EQ(bits[y * 4 + x], expected) << "at " << x << "," << y;
      }
    }
  }
}

TEST_F(GdiCaptureTest, HiddenCursorAndWrongStructureSize) {
  static_assert(sizeof(CURSORINFO) == 24, "the 64-bit layout");
  CURSORINFO info{sizeof(CURSORINFO) - 4, 0, nullptr, {0, 0}};
  SetLastError(0);
  EXPECT_FALSE(GetCursorInfo(&info));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  winsim::GetCursor().visible = false;
  info.cbSize = sizeof(CURSORINFO);
  ASSERT_TRUE(GetCursorInfo(&info));
  EXPECT_EQ(info.flags & CURSOR_SHOWING, 0u);
  EXPECT_EQ(info.hCursor, nullptr);
}

TEST_F(GdiCaptureTest, EveryDcAndBitmapIsCounted) {
  MakeDib(2, 2);
  const auto live = winsim::LiveObjects();
  EXPECT_EQ(live.at("gdi:ScreenDC"), 1);
  EXPECT_EQ(live.at("gdi:MemoryDC"), 1);
  EXPECT_EQ(live.at("gdi:Bitmap"), 1);
}

TEST_F(GdiCaptureTest, CaptureCallsAreInjectable) {
  MakeDib(2, 2);
  CURSORINFO info{sizeof(CURSORINFO), 0, nullptr, {0, 0}};
  ASSERT_TRUE(GetCursorInfo(&info));
  const struct {
    const char* call;
    bool (*attempt)(HDC screen, HDC memory, HCURSOR cursor);
  } cases[] = {
      {"GetDC", [](HDC, HDC, HCURSOR) { return GetDC(nullptr) != nullptr; }},
      {"CreateCompatibleDC", [](HDC s, HDC, HCURSOR) { return CreateCompatibleDC(s) != nullptr; }},
      {"CreateDIBSection",
       [](HDC s, HDC, HCURSOR) {
         BITMAPINFO header{};
         header.bmiHeader = {sizeof(BITMAPINFOHEADER), 2, 2, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
         void* bits = reinterpret_cast<void*>(1);
         const bool made =
             CreateDIBSection(s, &header, DIB_RGB_COLORS, &bits, nullptr, 0) != nullptr;
         EXPECT_EQ(bits, nullptr);
         return made;
       }},
      {"GetCursorInfo",
       [](HDC, HDC, HCURSOR) {
         CURSORINFO ci{sizeof(CURSORINFO), 0, nullptr, {0, 0}};
         return GetCursorInfo(&ci) != FALSE;
       }},
      {"GetIconInfo",
       [](HDC, HDC, HCURSOR c) {
         ICONINFO icon{};
         return GetIconInfo(c, &icon) != FALSE;
       }},
      {"DrawIconEx",
       [](HDC, HDC m, HCURSOR c) {
         return DrawIconEx(m, 0, 0, c, 0, 0, 0, nullptr, DI_NORMAL) != FALSE;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    winsim::FailCall(c.call, E_ACCESSDENIED);
    SetLastError(0);
    EXPECT_FALSE(c.attempt(screen_, memory_, info.hCursor));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  }
}

TEST_F(GdiCaptureTest, AnimatedDesktopMovesWithTheClockAndRepeatsForEqualTimes) {
  winsim::UseManualClock(0);
  winsim::SetScreenSize(320, 200);
  winsim::AnimateDesktop();
  std::uint32_t* bits = MakeDib(320, 200);
  auto frame = [&] {
    BitBlt(memory_, 0, 0, 320, 200, screen_, 0, 0, SRCCOPY);
    return std::vector<std::uint32_t>(bits, bits + 320 * 200);
  };
  const auto first = frame();
  EXPECT_EQ(frame(), first);
  winsim::AdvanceClock(1'000'000);  // 0.1 s
  EXPECT_NE(frame(), first);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 320);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 200);
}

TEST_F(GdiCaptureTest, AnimatedDesktopRepaintsTheGradientBehindMovedBlocks) {
  constexpr int kW = 320, kH = 200;
  winsim::UseManualClock(0);
  winsim::SetScreenSize(kW, kH);
  winsim::AnimateDesktop();
  std::uint32_t* bits = MakeDib(kW, -kH);
  // Every pixel is either a block's colour or the diagonal gradient, also
  // where a block stood a moment before.
  for (const std::int64_t step : {0, 1'000'000, 3'000'000}) {
    winsim::AdvanceClock(step);
    ASSERT_TRUE(BitBlt(memory_, 0, 0, kW, kH, screen_, 0, 0, SRCCOPY));
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const std::uint32_t pixel = bits[y * kW + x];
        if (pixel == 0xE04040 || pixel == 0x40C060 || pixel == 0x4060E0) continue;
        const std::uint32_t gradient = std::uint32_t(40 + 120 * x / (kW - 1)) << 16 |
                                       std::uint32_t(60 + 100 * y / (kH - 1)) << 8 | 150;
        ASSERT_EQ(pixel, gradient) << "at " << x << "," << y << " after " << step;
      }
    }
  }
}

TEST_F(GdiCaptureTest, TimecodeDesktopShowsTheMachineTimeOfEachRead) {
  // 100 pixels do not split evenly into 32 stripes; every pixel of the
  // screen is checked against the stripe that covers it.
  constexpr int kW = 100, kH = 41;
  std::string error;
  ASSERT_TRUE(winsim::LoadMachineJson(R"({"screen": {"width": 100, "height": 41,
      "pattern": "timecode", "flash_ms": 100, "flash_period_ms": 1000}})",
                                      &error))
      << error;
  EXPECT_FALSE(winsim::GetCursor().visible);
  std::uint32_t* bits = MakeDib(kW, -kH);
  constexpr std::int64_t kMs = 10'000;
  struct Case {
    std::int64_t counter;  // 100-ns ticks
    std::uint32_t shown;   // the machine time in whole milliseconds, low 32 bits
    bool flash;
  } cases[] = {
      {0, 0, true},
      {9'999, 0, true},
      {kMs, 1, true},
      {999 * kMs + 9'999, 999, false},
      {1000 * kMs, 1000, true},
      {1099 * kMs + 9'999, 1099, true},
      {1100 * kMs, 1100, false},
      {12'345'678 * kMs + 9'000, 12'345'678, false},
      {(0x80000000LL + 5) * kMs, 0x80000005u, false},
      {0xFFFFFFFFLL * kMs, 0xFFFFFFFFu, false},
      {(0x100000000LL + 7) * kMs, 7u, false},  // only the low 32 bits are shown
      {3, 0, true},                            // back again: every stripe repaints
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.counter);
    winsim::UseManualClock(c.counter);
    ASSERT_TRUE(BitBlt(memory_, 0, 0, kW, kH, screen_, 0, 0, SRCCOPY));
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const int stripe = x * 32 / kW;
        const bool white = y < kH / 2 ? ((c.shown >> (31 - stripe)) & 1) != 0 : c.flash;
        ASSERT_EQ(bits[y * kW + x], white ? 0xFFFFFFu : 0u) << "at " << x << "," << y;
      }
    }
  }
  // A cursor the machine file sets stays as set.
  ASSERT_TRUE(winsim::LoadMachineJson(
      R"({"cursor": {"visible": true, "x": 5}, "screen": {"pattern": "timecode"}})", &error));
  EXPECT_TRUE(winsim::GetCursor().visible);
}

TEST_F(GdiCaptureTest, MetricsCanDifferFromThePixels) {
  winsim::SetScreenSize(1367, 769);
  winsim::SetScreenMetrics(1, 0);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 0);
  EXPECT_EQ(winsim::GetScreen().pixels.size(), 1367u * 769u);
}

TEST(ComApartments, EveryEntryIsCountedUntilLeft) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
  EXPECT_EQ(winsim::LiveObjects()["apartment:mta"], 2);
  std::thread([] {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CoUninitialize();
  }).join();
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
}

}  // namespace
