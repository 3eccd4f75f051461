#include "recorder/cursor_overlay.h"

#include "recorder/gdi_handles.h"

namespace morl::recorder {

void DrawCursor(HDC dc) {
  CURSORINFO cursor{};
  cursor.cbSize = sizeof(CURSORINFO);
  if (!GetCursorInfo(&cursor) || (cursor.flags & CURSOR_SHOWING) == 0) return;

  // GetIconInfo hands out copies of the cursor's mask and colour bitmaps;
  // the caller owns and deletes them.
  ICONINFO icon{};
  if (!GetIconInfo(cursor.hCursor, &icon)) return;
  const GdiBitmap mask(icon.hbmMask);
  const GdiBitmap color(icon.hbmColor);

  // The cursor's position is its hotspot; the image starts up and left of it.
  DrawIconEx(dc, cursor.ptScreenPos.x - static_cast<int>(icon.xHotspot),
             cursor.ptScreenPos.y - static_cast<int>(icon.yHotspot), cursor.hCursor, 0, 0, 0,
             nullptr, DI_NORMAL);
}

}  // namespace morl::recorder
