// ICodecAPI: an encoder's properties (bit rate, rate control, key frame
// spacing), set and read as VARIANTs keyed by the CODECAPI_ GUIDs of
// <codecapi.h>. The sink writer hands out its H.264 encoder's through
// IMFSinkWriter::GetServiceForStream.
#pragma once

#include "codecapi.h"
#include "oaidl.h"
#include "win32sim/com.h"

struct IStream;

MORL_DEFINE_GUID(IID_ICodecAPI, 0x901db4c7, 0x31ce, 0x41a2, 0x85, 0xdc, 0x8f, 0xa0, 0xbf, 0x41,
                 0xb8, 0xda);

struct ICodecAPI : public IUnknown {
  virtual HRESULT IsSupported(const GUID* Api) = 0;
  virtual HRESULT IsModifiable(const GUID* Api) = 0;
  virtual HRESULT GetParameterRange(const GUID* Api, VARIANT* ValueMin, VARIANT* ValueMax,
                                    VARIANT* SteppingDelta) = 0;
  virtual HRESULT GetParameterValues(const GUID* Api, VARIANT** Values, ULONG* ValuesCount) = 0;
  virtual HRESULT GetDefaultValue(const GUID* Api, VARIANT* Value) = 0;
  virtual HRESULT GetValue(const GUID* Api, VARIANT* Value) = 0;
  virtual HRESULT SetValue(const GUID* Api, VARIANT* Value) = 0;
  virtual HRESULT RegisterForEvent(const GUID* Api, LONG_PTR userData) = 0;
  virtual HRESULT UnregisterForEvent(const GUID* Api) = 0;
  virtual HRESULT SetAllDefaults() = 0;
  virtual HRESULT SetValueWithNotify(const GUID* Api, VARIANT* Value, GUID** ChangedParam,
                                     ULONG* ChangedParamCount) = 0;
  virtual HRESULT SetAllDefaultsWithNotify(GUID** ChangedParam, ULONG* ChangedParamCount) = 0;
  virtual HRESULT GetAllSettings(IStream* stream) = 0;
  virtual HRESULT SetAllSettings(IStream* stream) = 0;
  virtual HRESULT SetAllSettingsWithNotify(IStream* stream, GUID** ChangedParam,
                                           ULONG* ChangedParamCount) = 0;

 protected:
  ~ICodecAPI() = default;
};
MORL_INTERFACE_ID(ICodecAPI, IID_ICodecAPI);
