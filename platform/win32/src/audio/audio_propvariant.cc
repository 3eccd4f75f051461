#include "propidl.h"

HRESULT PropVariantClear(PROPVARIANT* value) {
  if (value == nullptr) return S_OK;
  switch (value->vt) {
    case VT_LPWSTR:
      CoTaskMemFree(value->pwszVal);
      break;
    case VT_LPSTR:
      CoTaskMemFree(value->pszVal);
      break;
    case VT_CLSID:
      CoTaskMemFree(value->puuid);
      break;
    default:
      break;
  }
  PropVariantInit(value);
  return S_OK;
}
