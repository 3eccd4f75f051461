// The cursor: its information, the bitmaps GetIconInfo hands out, and
// DrawIconEx, which alpha-blends the cursor's 0xAARRGGBB image into a DIB.
#include <algorithm>

#include "gdi/gdi_objects.h"
#include "machine/machine_screen.h"

namespace winsim {
namespace {

// The one system cursor the machine shows. Cursor handles are shared system
// objects, never owned by the caller, so it is not counted.
HICON__ g_cursor_object{};

constexpr DWORD ERROR_INVALID_CURSOR_HANDLE = 1402;

std::uint32_t Blend(std::uint32_t under, std::uint32_t over) {
  const std::uint32_t alpha = over >> 24;
  if (alpha == 0xFF) return over & 0x00FFFFFF;
  if (alpha == 0) return under;
  std::uint32_t out = under & 0xFF000000;
  for (int shift = 0; shift < 24; shift += 8) {
    const std::uint32_t a = (over >> shift) & 0xFF, b = (under >> shift) & 0xFF;
    out |= ((a * alpha + b * (255 - alpha) + 127) / 255) << shift;
  }
  return out;
}

}  // namespace

HCURSOR CursorHandle() { return &g_cursor_object; }

}  // namespace winsim

BOOL GetCursorInfo(PCURSORINFO pci) {
  if (winsim::FailedByInjection("GetCursorInfo")) return FALSE;
  if (pci == nullptr || pci->cbSize != sizeof(CURSORINFO)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const winsim::Cursor cursor = winsim::SnapshotCursor();
  const bool showing = cursor.visible && !winsim::SecureDesktopShowing();
  pci->flags = showing ? CURSOR_SHOWING : 0;
  pci->hCursor = showing ? winsim::CursorHandle() : nullptr;
  pci->ptScreenPos = POINT{cursor.x, cursor.y};
  return TRUE;
}

BOOL GetIconInfo(HICON hIcon, PICONINFO piconinfo) {
  if (winsim::FailedByInjection("GetIconInfo")) return FALSE;
  if (piconinfo == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (hIcon != winsim::CursorHandle()) {
    SetLastError(winsim::ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  const winsim::Cursor cursor = winsim::SnapshotCursor();
  std::lock_guard<std::mutex> lock(winsim::GdiMutex());
  winsim::GdiBitmap* mask = winsim::NewBitmap(cursor.width, cursor.height, false);
  winsim::GdiBitmap* color = winsim::NewBitmap(cursor.width, cursor.height, false);
  // The mask is white where the screen shows through, black under the image.
  for (std::size_t i = 0; i < cursor.image.size(); ++i) {
    mask->bits[i] = (cursor.image[i] >> 24) == 0 ? 0x00FFFFFF : 0;
    color->bits[i] = cursor.image[i];
  }
  *piconinfo =
      ICONINFO{FALSE, static_cast<DWORD>(cursor.hotspot_x), static_cast<DWORD>(cursor.hotspot_y),
               reinterpret_cast<HBITMAP>(mask), reinterpret_cast<HBITMAP>(color)};
  return TRUE;
}

BOOL DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth,
                UINT /*istepIfAniCur*/, HBRUSH /*hbrFlickerFreeDraw*/, UINT diFlags) {
  if (winsim::FailedByInjection("DrawIconEx")) return FALSE;
  if (hIcon != winsim::CursorHandle()) {
    SetLastError(winsim::ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  const winsim::Cursor cursor = winsim::SnapshotCursor();
  std::lock_guard<std::mutex> lock(winsim::GdiMutex());
  winsim::GdiDc* dc = winsim::LiveDc(hdc);
  if (dc == nullptr || dc->screen) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if ((diFlags & DI_IMAGE) == 0) return TRUE;  // a mask alone changes nothing visible here
  const int default_size = (diFlags & DI_DEFAULTSIZE) != 0 ? 32 : 0;
  const int width = cxWidth != 0 ? cxWidth : (default_size ? default_size : cursor.width);
  const int height = cyWidth != 0 ? cyWidth : (default_size ? default_size : cursor.height);
  if (width <= 0 || height <= 0 || cursor.image.empty()) return TRUE;
  winsim::GdiBitmap& bitmap = *dc->bitmap;
  using I = std::int64_t;
  const I left = std::max<I>(0, -I{xLeft}), top = std::max<I>(0, -I{yTop});
  const I right = std::min<I>(width, I{bitmap.width} - xLeft);
  const I bottom = std::min<I>(height, I{bitmap.height} - yTop);
  for (I r = top; r < bottom; ++r) {
    const I source_row = r * cursor.height / height;  // nearest neighbour when scaled
    for (I c = left; c < right; ++c) {
      const I source_column = c * cursor.width / width;
      std::uint32_t& pixel = bitmap.At(static_cast<int>(xLeft + c), static_cast<int>(yTop + r));
      pixel = winsim::Blend(pixel, cursor.image[source_row * cursor.width + source_column]);
    }
  }
  return TRUE;
}
