// Property keys: a format GUID and a property number within it.
#pragma once

#include "win32sim/base.h"

struct PROPERTYKEY {
  GUID fmtid;
  DWORD pid;
};
using REFPROPERTYKEY = const PROPERTYKEY&;

inline bool operator==(const PROPERTYKEY& a, const PROPERTYKEY& b) {
  return a.fmtid == b.fmtid && a.pid == b.pid;
}
inline bool IsEqualPropertyKey(const PROPERTYKEY& a, const PROPERTYKEY& b) { return a == b; }

#define MORL_DEFINE_PROPERTYKEY(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8, pid) \
  inline constexpr PROPERTYKEY name = {{l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}, pid}
