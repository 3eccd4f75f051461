// Draws the current mouse cursor, when it is showing, into a DC whose origin
// is the primary display's top-left corner. Parts outside the DC's bitmap are
// clipped by GDI.
#pragma once

#include <windows.h>

namespace morl::recorder {

void DrawCursor(HDC dc);

}  // namespace morl::recorder
