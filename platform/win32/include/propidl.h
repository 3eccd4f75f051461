// Property values. Only the variants the simulated devices hand out are
// modelled: empty, a 32-bit unsigned number and a task-memory wide string.
// PropVariantClear frees what the value owns and leaves it empty.
#pragma once

#include "win32sim/base.h"
#include "win32sim/com.h"

using VARTYPE = unsigned short;

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I4 = 3,
  VT_BSTR = 8,
  VT_BOOL = 11,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_CLSID = 72,
};

struct tagPROPVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONG lVal;
    ULONG ulVal;
    LONGLONG hVal;
    ULONGLONG uhVal;
    LPSTR pszVal;
    LPWSTR pwszVal;
    CLSID* puuid;
  };
};
typedef struct tagPROPVARIANT PROPVARIANT;
using REFPROPVARIANT = const PROPVARIANT&;

inline void PropVariantInit(PROPVARIANT* value) { std::memset(value, 0, sizeof(PROPVARIANT)); }
HRESULT PropVariantClear(PROPVARIANT* value);
