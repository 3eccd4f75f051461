// Screen capture rules: the screen DC's extent, BitBlt into DIB sections of
// either row order, and the cursor's image, hotspot and drawing position.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "contract_support.h"
#include "wine_differences.h"

namespace {

using contract::DibCanvas;
using contract::ScreenDc;
using contract::ScreenRestoredAtExit;

constexpr DWORD kRgb = 0x00FFFFFF;

// A pattern where every pixel of a w x h block differs from its neighbours
// in both directions, so a flipped, shifted or transposed copy shows.
DWORD PatternAt(int x, int y) {
  return static_cast<DWORD>(((x * 37 + 11) & 0xFF) << 16 | ((y * 53 + 7) & 0xFF) << 8 |
                            (((x + 1) * (y + 3) * 29) & 0xFF));
}

// Paints the pattern into `canvas` by screen coordinates (row 0 is the top).
void PaintPattern(DibCanvas& canvas, bool bottom_up) {
  for (int y = 0; y < canvas.Rows(); ++y) {
    const int row = bottom_up ? canvas.Rows() - 1 - y : y;
    for (int x = 0; x < canvas.Width(); ++x) canvas.InMemory(x, row) = PatternAt(x, y);
  }
}

TEST(ScreenDc, ExtentEqualsSystemMetrics) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  ScreenDc screen;
  ASSERT_NE(screen.Get(), nullptr);
  EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
  EXPECT_GT(GetSystemMetrics(SM_CYSCREEN), 0);
  EXPECT_EQ(GetDeviceCaps(screen.Get(), HORZRES), GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(GetDeviceCaps(screen.Get(), VERTRES), GetSystemMetrics(SM_CYSCREEN));
}

// What the recorder's grab does: a block drawn on the screen comes back
// unchanged through BitBlt(SRCCOPY | CAPTUREBLT), whatever the row order of
// the DIB it was drawn from and of the DIB it is read into.
struct RoundTrip {
  const char* name;
  bool source_bottom_up;
  bool target_bottom_up;
};
class ScreenRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(ScreenRoundTrip, PatternComesBackUpright) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const RoundTrip& c = GetParam();
  constexpr int kWidth = 61, kHeight = 37, kLeft = 24, kTop = 16;
  DibCanvas source(kWidth, c.source_bottom_up ? kHeight : -kHeight);
  DibCanvas target(kWidth, c.target_bottom_up ? kHeight : -kHeight);
  ASSERT_TRUE(source.Ready() && target.Ready());
  PaintPattern(source, c.source_bottom_up);
  target.Fill(0);
  const ScreenRestoredAtExit restore;
  ScreenDc screen;
  ASSERT_TRUE(BitBlt(screen.Get(), kLeft, kTop, kWidth, kHeight, source.Dc(), 0, 0, SRCCOPY));
  ASSERT_TRUE(
      BitBlt(target.Dc(), 0, 0, kWidth, kHeight, screen.Get(), kLeft, kTop, SRCCOPY | CAPTUREBLT));
  int wrong = 0;
  for (int y = 0; y < kHeight; ++y) {
    const int row = c.target_bottom_up ? kHeight - 1 - y : y;
    for (int x = 0; x < kWidth; ++x) {
      if ((target.InMemory(x, row) & kRgb) != PatternAt(x, y)) ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0) << "pixels differ out of " << kWidth * kHeight;
}

INSTANTIATE_TEST_SUITE_P(RowOrders, ScreenRoundTrip,
                         ::testing::Values(RoundTrip{"BottomUpToBottomUp", true, true},
                                           RoundTrip{"BottomUpToTopDown", true, false},
                                           RoundTrip{"TopDownToBottomUp", false, true},
                                           RoundTrip{"TopDownToTopDown", false, false}),
                         [](const auto& row) { return std::string(row.param.name); });

// A bottom-up DIB keeps the top screen row in its last memory row, a
// top-down DIB in its first: the recorder flips one and not the other.
TEST(DibSection, RowOrderFollowsTheSignOfTheHeight) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  constexpr int kWidth = 8, kHeight = 6, kLeft = 40, kTop = 30;
  DibCanvas bands(kWidth, -kHeight);
  ASSERT_TRUE(bands.Ready());
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) bands.InMemory(x, y) = 0x00102030u * static_cast<DWORD>(y + 1);
  }
  const ScreenRestoredAtExit restore;
  ScreenDc screen;
  ASSERT_TRUE(BitBlt(screen.Get(), kLeft, kTop, kWidth, kHeight, bands.Dc(), 0, 0, SRCCOPY));
  for (const int height : {kHeight, -kHeight}) {
    DibCanvas read(kWidth, height);
    ASSERT_TRUE(read.Ready());
    ASSERT_TRUE(BitBlt(read.Dc(), 0, 0, kWidth, kHeight, screen.Get(), kLeft, kTop, SRCCOPY));
    const int top_row = height > 0 ? kHeight - 1 : 0;
    const int bottom_row = height > 0 ? 0 : kHeight - 1;
    EXPECT_EQ(read.InMemory(3, top_row) & kRgb, 0x00102030u) << "height " << height;
    EXPECT_EQ(read.InMemory(3, bottom_row) & kRgb, 0x00102030u * kHeight) << "height " << height;
  }
}

// Rows of a 32-bit DIB section are width * 4 bytes with no padding, even
// for odd widths: the recorder hands the bits to the encoder as they are.
TEST(DibSection, OddWidthRowsArePacked) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  constexpr int kWidth = 3, kHeight = 5;
  DibCanvas source(kWidth, -kHeight);
  DibCanvas target(kWidth, -kHeight);
  ASSERT_TRUE(source.Ready() && target.Ready());
  PaintPattern(source, false);
  target.Fill(0);
  ASSERT_TRUE(BitBlt(target.Dc(), 0, 0, kWidth, kHeight, source.Dc(), 0, 0, SRCCOPY));
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      EXPECT_EQ(target.InMemory(x, y) & kRgb, PatternAt(x, y)) << x << "," << y;
    }
  }
}

// BitBlt maps target (x + i, y + j) to source (x1 + i, y1 + j) and clips to
// the target bitmap: a copy that starts left of the bitmap lands shifted.
TEST(DibSection, CopyClipsToTheTargetBitmap) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  constexpr int kSize = 16;
  DibCanvas source(kSize, -kSize);
  DibCanvas target(kSize, -kSize);
  ASSERT_TRUE(source.Ready() && target.Ready());
  PaintPattern(source, false);
  target.Fill(0x00ABCDEF);
  ASSERT_TRUE(BitBlt(target.Dc(), -4, 2, kSize, kSize, source.Dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(target.InMemory(0, 2) & kRgb, PatternAt(4, 0));
  EXPECT_EQ(target.InMemory(kSize - 5, kSize - 1) & kRgb, PatternAt(kSize - 1, kSize - 3));
  EXPECT_EQ(target.InMemory(kSize - 1, 5) & kRgb, 0x00ABCDEFu) << "right of the copy";
  EXPECT_EQ(target.InMemory(3, 1) & kRgb, 0x00ABCDEFu) << "above the copy";
}

// One bitmap can be selected into one memory DC at a time; the recorder
// keeps one DC per frame bitmap.
TEST(DibSection, SelectedIntoOneDcAtATime) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  DibCanvas canvas(4, 4);
  ASSERT_TRUE(canvas.Ready());
  ScreenDc screen;
  HDC other = CreateCompatibleDC(screen.Get());
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(SelectObject(other, canvas.Bitmap()), nullptr);
  EXPECT_TRUE(DeleteDC(other));
}

// A bitmap selected into a DC is not deleted (DeleteObject answers zero)
// until that DC is gone; then another DC may take it, and once deleted its
// handle stays invalid. The screen DC is released once. The recorder frees
// its frame bitmaps in this order.
TEST(DibSection, SelectedBitmapIsKeptUntilItsDcIsGone) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  HDC screen = GetDC(nullptr);
  ASSERT_NE(screen, nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HDC other = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = 2;
  info.bmiHeader.biHeight = 2;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  EXPECT_NE(bitmap, nullptr);
  if (memory != nullptr && other != nullptr && bitmap != nullptr) {
    EXPECT_NE(SelectObject(memory, bitmap), nullptr);
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(SelectObject(other, bitmap), nullptr);
    // Deleting the DC releases what it held.
    EXPECT_TRUE(DeleteDC(memory));
    memory = nullptr;
    EXPECT_NE(SelectObject(other, bitmap), nullptr);
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteDC(other));
    other = nullptr;
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap)) << "a stale handle fails instead of reaching memory";
    bitmap = nullptr;
  }
  if (memory != nullptr) DeleteDC(memory);
  if (other != nullptr) DeleteDC(other);
  if (bitmap != nullptr) DeleteObject(bitmap);
  EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
}

// The cursor is on the screen; when a cursor handle is reported, its image
// and hotspot can be read (the recorder draws exactly that cursor). A
// showing cursor may come without a handle (Wine does so before any window
// sets one), which the recorder must survive by drawing nothing.
TEST(Cursor, InfoReportsAPositionOnTheScreen) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  CURSORINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(GetCursorInfo(&info));
  EXPECT_GE(info.ptScreenPos.x, 0);
  EXPECT_GE(info.ptScreenPos.y, 0);
  EXPECT_LT(info.ptScreenPos.x, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_LT(info.ptScreenPos.y, GetSystemMetrics(SM_CYSCREEN));
  if (info.hCursor != nullptr) {
    ICONINFO icon{};
    ASSERT_TRUE(GetIconInfo(info.hCursor, &icon));
    if (icon.hbmMask != nullptr) DeleteObject(icon.hbmMask);
    if (icon.hbmColor != nullptr) DeleteObject(icon.hbmColor);
  }
}

// GetIconInfo hands the caller new bitmaps to delete and the hotspot that
// the recorder subtracts from the cursor position; the arrow's is its tip.
TEST(Cursor, IconInfoGivesOwnedBitmapsAndTheHotspot) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  ASSERT_NE(arrow, nullptr);
  ICONINFO icon{};
  ASSERT_TRUE(GetIconInfo(arrow, &icon));
  EXPECT_FALSE(icon.fIcon);
  EXPECT_NE(icon.hbmMask, nullptr);
  EXPECT_LT(icon.xHotspot, 8u);
  EXPECT_LT(icon.yHotspot, 8u);
  if (icon.hbmMask != nullptr) {
    EXPECT_TRUE(DeleteObject(icon.hbmMask));
  }
  if (icon.hbmColor != nullptr) {
    EXPECT_TRUE(DeleteObject(icon.hbmColor));
  }
}

// DrawIconEx puts the image's top-left corner at the given point (not its
// hotspot), upright in either row order: the recorder passes position minus
// hotspot. The arrow's tip is its top-left, so the first painted row starts
// at the left edge of the drawing.
class CursorDrawing : public ::testing::TestWithParam<bool> {};

TEST_P(CursorDrawing, ImageStartsAtTheGivenPoint) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const bool bottom_up = GetParam();
  constexpr int kSize = 128, kAt = 40;
  constexpr DWORD kBackground = 0x00808080;
  DibCanvas canvas(kSize, bottom_up ? kSize : -kSize);
  ASSERT_TRUE(canvas.Ready());
  canvas.Fill(kBackground);
  HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  ASSERT_TRUE(DrawIconEx(canvas.Dc(), kAt, kAt, arrow, 0, 0, 0, nullptr, DI_NORMAL));
  int top = kSize, left = kSize, bottom = -1, right = -1, top_row_left = kSize;
  for (int y = 0; y < kSize; ++y) {
    const int row = bottom_up ? kSize - 1 - y : y;
    for (int x = 0; x < kSize; ++x) {
      if ((canvas.InMemory(x, row) & kRgb) == kBackground) continue;
      if (y < top) top_row_left = x;
      top = std::min(top, y);
      left = std::min(left, x);
      bottom = std::max(bottom, y);
      right = std::max(right, x);
    }
  }
  ASSERT_GE(bottom, 0) << "nothing drawn";
  EXPECT_GE(left, kAt);
  EXPECT_GE(top, kAt);
  EXPECT_LT(top, kAt + 4) << "the tip sits at the top";
  EXPECT_LT(right, kAt + 64);
  EXPECT_LT(bottom, kAt + 64);
  EXPECT_GT(bottom - top, 8) << "an arrow is taller than a few rows";
  EXPECT_LT(top_row_left, kAt + 4) << "the tip is at the left";
}

INSTANTIATE_TEST_SUITE_P(RowOrders, CursorDrawing, ::testing::Values(true, false),
                         [](const auto& row) {
                           return std::string(row.param ? "BottomUp" : "TopDown");
                         });

}  // namespace
