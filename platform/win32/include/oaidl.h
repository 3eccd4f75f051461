// Automation values: VARIANT, as the codec property interface passes them.
// Only the number variants are modelled; VariantClear empties the value.
#pragma once

#include "propidl.h"

struct tagVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    ULONGLONG ullVal;
    ULONG ulVal;
    short boolVal;
  };
};
typedef struct tagVARIANT VARIANT;

inline void VariantInit(VARIANT* value) { value->vt = VT_EMPTY; }
inline HRESULT VariantClear(VARIANT* value) {
  std::memset(value, 0, sizeof(VARIANT));
  return S_OK;
}
