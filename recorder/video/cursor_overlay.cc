#include "recorder/video/cursor_overlay.h"

#include <cstdint>

#include "recorder/video/gdi_handles.h"

namespace morl::recorder {

void DrawCursor(HDC dc, int left, int top, HMONITOR monitor) {
  CURSORINFO cursor{};
  cursor.cbSize = sizeof(CURSORINFO);
  if (!GetCursorInfo(&cursor) || (cursor.flags & CURSOR_SHOWING) == 0) return;
  if (monitor != nullptr) {
    const HMONITOR under = MonitorFromPoint(cursor.ptScreenPos, MONITOR_DEFAULTTONULL);
    if (under != nullptr && under != monitor) return;
  }

  // GetIconInfo hands out copies of the cursor's mask and colour bitmaps;
  // the caller owns and deletes them.
  ICONINFO icon{};
  if (!GetIconInfo(cursor.hCursor, &icon)) return;
  const GdiBitmap mask(icon.hbmMask);
  const GdiBitmap color(icon.hbmColor);

  // The cursor's position is its hotspot; the image starts up and left of it.
  // 64-bit, as the position and the origin may be far apart; a cursor that
  // far off the DC is not drawn at all.
  const std::int64_t x = std::int64_t{cursor.ptScreenPos.x} - left - icon.xHotspot;
  const std::int64_t y = std::int64_t{cursor.ptScreenPos.y} - top - icon.yHotspot;
  if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) return;
  DrawIconEx(dc, static_cast<int>(x), static_cast<int>(y), cursor.hCursor, 0, 0, 0, nullptr,
             DI_NORMAL);
}

}  // namespace morl::recorder
