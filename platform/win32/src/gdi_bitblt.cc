#include <algorithm>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "gdi_objects.h"
#include "machine_screen.h"

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

}  // namespace

BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  if (winsim::FailedByInjection("BitBlt")) return FALSE;
  if ((rop & ~CAPTUREBLT) != SRCCOPY) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(winsim::GdiMutex());
  winsim::GdiDc* target = winsim::LiveDc(hdc);
  winsim::GdiDc* source = winsim::LiveDc(hdcSrc);
  if (target == nullptr || source == nullptr || target->screen || !source->screen) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  winsim::GdiBitmap& bitmap = *target->bitmap;
  winsim::ReadScreen([&](const winsim::Screen& screen) {
    if (screen.pixels.size() != static_cast<std::size_t>(std::max(screen.width, 0)) *
                                    static_cast<std::size_t>(std::max(screen.height, 0))) {
      return;  // a test left the buffer at another size: nothing to copy
    }
    // Clip the rectangle against the target bitmap and the screen at once:
    // column c of the copy reads screen x1 + c and writes bitmap x + c.
    // 64-bit so that extreme coordinates cannot overflow.
    using I = std::int64_t;
    const I left = std::max<I>({0, -I{x}, -I{x1}});
    const I top = std::max<I>({0, -I{y}, -I{y1}});
    const I right = std::min<I>({cx, I{bitmap.width} - x, I{screen.width} - x1});
    const I bottom = std::min<I>({cy, I{bitmap.height} - y, I{screen.height} - y1});
    if (left >= right) return;
    // Rows are contiguous in both buffers, so each row is one straight run.
    const std::size_t run = static_cast<std::size_t>(right - left);
    for (I r = top; r < bottom; ++r) {
      const std::uint32_t* in = screen.pixels.data() + (y1 + r) * screen.width + x1 + left;
      std::uint32_t* out = &bitmap.At(static_cast<int>(x + left), static_cast<int>(y + r));
      CopyRowWithoutAlpha(in, out, run);
    }
#if defined(__SSE2__)
    _mm_sfence();
#endif
  });
  return TRUE;
}
