// Property stores: the read side of a device's properties.
#pragma once

#include "propidl.h"
#include "propkeydef.h"
#include "win32sim/com.h"

MORL_DEFINE_GUID(IID_IPropertyStore, 0x886d8eeb, 0x8cf2, 0x4446, 0x8d, 0x02, 0xcd, 0xba, 0x1d, 0xbd,
                 0xcf, 0x99);

struct IPropertyStore : IUnknown {
  virtual HRESULT GetCount(DWORD* count) = 0;
  virtual HRESULT GetAt(DWORD index, PROPERTYKEY* key) = 0;
  virtual HRESULT GetValue(REFPROPERTYKEY key, PROPVARIANT* value) = 0;
  virtual HRESULT SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) = 0;
  virtual HRESULT Commit() = 0;

 protected:
  ~IPropertyStore() = default;
};
MORL_INTERFACE_ID(IPropertyStore, IID_IPropertyStore);
