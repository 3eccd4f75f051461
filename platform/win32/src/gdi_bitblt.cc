#include <algorithm>

#include "gdi_objects.h"
#include "machine_screen.h"

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
    for (I r = top; r < bottom; ++r) {
      const std::uint32_t* in = screen.pixels.data() + (y1 + r) * screen.width + x1;
      for (I c = left; c < right; ++c) {
        bitmap.At(static_cast<int>(x + c), static_cast<int>(y + r)) = in[c] & 0x00FFFFFF;
      }
    }
  });
  return TRUE;
}
