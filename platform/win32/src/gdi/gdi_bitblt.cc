#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "gdi/gdi_objects.h"
#include "machine/machine_screen.h"
#include "machine/machine_work.h"
#include "winsim_costs.h"

namespace {

// Copies `count` pixels and clears their top byte: the bitmap has no alpha.
// A whole screen is far larger than the caches and is read back only by the
// caller's next copy, so the aligned bulk is written with streaming stores
// that skip reading the target in first.
void CopyRowWithoutAlpha(const std::uint32_t* in, std::uint32_t* out, std::size_t count) {
  std::size_t c = 0;
#if defined(__SSE2__)
  while (c < count && reinterpret_cast<std::uintptr_t>(out + c) % 16 != 0) {
    out[c] = in[c] & 0x00FFFFFFu;
    ++c;
  }
  const __m128i mask = _mm_set1_epi32(0x00FFFFFF);
  for (; c + 4 <= count; c += 4) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + c));
    _mm_stream_si128(reinterpret_cast<__m128i*>(out + c), _mm_and_si128(pixels, mask));
  }
#endif
  for (; c < count; ++c) out[c] = in[c] & 0x00FFFFFFu;
}

// Blackens the target rectangle (clipped to the bitmap) before a read of the
// screen: what lies outside every display, such as the area of a display
// that has just been removed, reads black.
void ClearToBlack(winsim::GdiBitmap& bitmap, int x, int y, int cx, int cy) {
  using I = std::int64_t;
  const I left = std::max<I>(0, x), top = std::max<I>(0, y);
  const I right = std::min<I>(I{bitmap.width}, I{x} + std::max(cx, 0));
  const I bottom = std::min<I>(I{bitmap.height}, I{y} + std::max(cy, 0));
  for (I r = top; r < bottom; ++r) {
    for (I c = left; c < right; ++c) bitmap.At(static_cast<int>(c), static_cast<int>(r)) = 0;
  }
}

// Copies between memory DCs, or from a memory DC onto the screen: pixel by
// pixel through each side's row order, clipped to both sides. Drawing on the
// screen stops the demo desktop's animation so the drawing stays, as a
// painted desktop does until something repaints it.
void CopyThroughRowOrder(winsim::GdiDc& target, winsim::GdiDc& source, int x, int y, int cx, int cy,
                         int x1, int y1) {
  using I = std::int64_t;
  auto copy = [&](int target_w, int target_h, int source_w, int source_h, auto read, auto write) {
    const I left = std::max<I>({0, -I{x}, -I{x1}});
    const I top = std::max<I>({0, -I{y}, -I{y1}});
    const I right = std::min<I>({cx, I{target_w} - x, I{source_w} - x1});
    const I bottom = std::min<I>({cy, I{target_h} - y, I{source_h} - y1});
    for (I r = top; r < bottom; ++r) {
      for (I c = left; c < right; ++c) {
        write(static_cast<int>(x + c), static_cast<int>(y + r),
              read(static_cast<int>(x1 + c), static_cast<int>(y1 + r)));
      }
    }
  };
  winsim::GdiBitmap& from = *source.bitmap;
  auto read = [&](int column, int row) { return from.At(column, row); };
  if (!target.screen) {
    winsim::GdiBitmap& to = *target.bitmap;
    copy(to.width, to.height, from.width, from.height, read,
         [&](int column, int row, std::uint32_t pixel) { to.At(column, row) = pixel; });
    return;
  }
  winsim::WriteScreen([&](winsim::Screen& screen) {
    if (screen.pixels.size() != static_cast<std::size_t>(std::max(screen.width, 0)) *
                                    static_cast<std::size_t>(std::max(screen.height, 0))) {
      return;
    }
    // The screen DC is addressed in virtual-screen coordinates.
    x -= screen.left;
    y -= screen.top;
    copy(screen.width, screen.height, from.width, from.height, read,
         [&](int column, int row, std::uint32_t pixel) {
           screen.pixels[static_cast<std::size_t>(row) * static_cast<std::size_t>(screen.width) +
                         static_cast<std::size_t>(column)] = pixel & 0x00FFFFFFu;
         });
  });
}

}  // namespace

BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  if (winsim::FailedByInjection("BitBlt")) return FALSE;
  if ((rop & ~CAPTUREBLT) != SRCCOPY) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::unique_lock<std::mutex> lock(winsim::GdiMutex());
  winsim::GdiDc* target = winsim::LiveDc(hdc);
  winsim::GdiDc* source = winsim::LiveDc(hdcSrc);
  if (target == nullptr || source == nullptr || (target->screen && source->screen)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!source->screen) {
    CopyThroughRowOrder(*target, *source, x, y, cx, cy, x1, y1);
    return TRUE;
  }
  // The secure desktop (a UAC prompt, the lock screen) belongs to another
  // desktop: a process on the user's desktop cannot read it.
  if (winsim::SecureDesktopShowing()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  winsim::GdiBitmap& bitmap = *target->bitmap;
  winsim::ReadScreen([&](const winsim::Screen& screen) {
    if (screen.pixels.size() != static_cast<std::size_t>(std::max(screen.width, 0)) *
                                    static_cast<std::size_t>(std::max(screen.height, 0))) {
      return;  // a test left the buffer at another size: nothing to copy
    }
    // The screen DC is addressed in virtual-screen coordinates; the buffer
    // starts at the virtual screen's top-left corner.
    using I = std::int64_t;
    const I sx = I{x1} - screen.left, sy = I{y1} - screen.top;
    // Clip the rectangle against the target bitmap and the screen at once:
    // column c of the copy reads buffer column sx + c and writes bitmap
    // x + c. 64-bit so that extreme coordinates cannot overflow.
    const I left = std::max<I>({0, -I{x}, -sx});
    const I top = std::max<I>({0, -I{y}, -sy});
    const I right = std::min<I>({cx, I{bitmap.width} - x, I{screen.width} - sx});
    const I bottom = std::min<I>({cy, I{bitmap.height} - y, I{screen.height} - sy});
    const I target_left = std::max<I>(0, x), target_top = std::max<I>(0, y);
    const I target_right = std::min<I>(I{bitmap.width}, I{x} + std::max(cx, 0));
    const I target_bottom = std::min<I>(I{bitmap.height}, I{y} + std::max(cy, 0));
    if (x + left > target_left || y + top > target_top || x + right < target_right ||
        y + bottom < target_bottom) {
      ClearToBlack(bitmap, x, y, cx, cy);
    }
    if (left >= right) return;
    // Rows are contiguous in both buffers, so each row is one straight run.
    const std::size_t run = static_cast<std::size_t>(right - left);
    for (I r = top; r < bottom; ++r) {
      const std::uint32_t* in = screen.pixels.data() + (sy + r) * screen.width + sx + left;
      std::uint32_t* out = &bitmap.At(static_cast<int>(x + left), static_cast<int>(y + r));
      CopyRowWithoutAlpha(in, out, run);
    }
#if defined(__SSE2__)
    _mm_sfence();
#endif
  });
  // Reading the composed desktop back costs the processor time per pixel
  // asked for (the machine file's "costs"), spent outside GDI's lock.
  lock.unlock();
  winsim::SpendProcessorTime(
      winsim::CostOf(winsim::MachineCosts().bitblt_ms_per_mpixel,
                     std::abs(static_cast<double>(cx)) * std::abs(static_cast<double>(cy))));
  return TRUE;
}
