// Draws the current mouse cursor, when it is showing, into a DC whose origin
// is the point (left, top) of the virtual screen. Parts outside the DC's
// bitmap are clipped by GDI. With a `monitor`, a cursor whose position is on
// another display is not drawn: only its image's edge could reach the DC,
// and it is not on what is being recorded.
#pragma once

#include <windows.h>

namespace morl::recorder {

void DrawCursor(HDC dc, int left = 0, int top = 0, HMONITOR monitor = nullptr);

}  // namespace morl::recorder
