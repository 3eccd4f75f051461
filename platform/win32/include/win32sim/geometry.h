// Points and rectangles in screen or client coordinates, shared by the GDI
// and windowing parts of the simulated machine.
#pragma once

#include "win32sim/base.h"

struct POINT {
  LONG x;
  LONG y;
};
struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
struct SIZE {
  LONG cx;
  LONG cy;
};
using LPPOINT = POINT*;
using LPRECT = RECT*;
using LPCRECT = const RECT*;
