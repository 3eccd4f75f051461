// The objects behind GDI handles: device contexts and bitmaps. Handles are
// pointers to these, checked against the live set before use so a stale or
// foreign handle fails the call instead of corrupting memory.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "windows.h"

namespace winsim {

struct GdiBitmap {
  int width = 0;
  int height = 0;
  bool bottom_up = true;
  std::vector<std::uint32_t> bits;  // 0xAARRGGBB, `width` per row, in memory order
  struct GdiDc* selected_into = nullptr;
  bool stock = false;

  // The pixel of screen row `y` (0 = top), column `x`.
  std::uint32_t& At(int x, int y) {
    const int row = bottom_up ? height - 1 - y : y;
    return bits[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                static_cast<std::size_t>(x)];
  }
};

struct GdiDc {
  bool screen = false;
  GdiBitmap* bitmap = nullptr;  // selected bitmap of a memory DC
};

// Guards every GDI object and the live sets.
std::mutex& GdiMutex();
// Null unless `handle` is a live object of that type. Call under GdiMutex.
GdiDc* LiveDc(HDC handle);
GdiBitmap* LiveBitmap(const void* handle);
// Creates a counted bitmap ("gdi:Bitmap"). Call under GdiMutex.
GdiBitmap* NewBitmap(int width, int height, bool bottom_up);

// The machine's one cursor: what GetCursorInfo reports and what
// LoadCursorW(NULL, IDC_ARROW) returns, as the arrow is one shared object.
HCURSOR CursorHandle();

}  // namespace winsim
