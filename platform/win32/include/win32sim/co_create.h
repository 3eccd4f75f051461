// Creating COM objects by class. The simulated machine registers only the
// classes the product creates; any other class is not registered.
#pragma once

#include "win32sim/base.h"
#include "win32sim/com.h"

constexpr DWORD STGM_READ = 0x00000000;
constexpr DWORD STGM_WRITE = 0x00000001;
constexpr DWORD STGM_READWRITE = 0x00000002;

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD cls_context, REFIID iid,
                         LPVOID* object);
