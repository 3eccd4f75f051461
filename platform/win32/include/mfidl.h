// Media Foundation pipeline interfaces of the simulated machine: the media
// source that a capture device hands out, and the device-source keys.
#pragma once

#include "mfobjects.h"
#include "win32sim/mf_readwrite_constants.h"

struct IMFMediaSource : public IUnknown {
  virtual HRESULT GetCharacteristics(DWORD* pdwCharacteristics) = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Shutdown() = 0;

 protected:
  ~IMFMediaSource() = default;
};
MORL_DEFINE_GUID(IID_IMFMediaSource, 0x279a808d, 0xaec7, 0x40c8, 0x9c, 0x6b, 0xa6, 0xb4, 0x92, 0xc7,
                 0x8a, 0x66);
MORL_INTERFACE_ID(IMFMediaSource, IID_IMFMediaSource);

MORL_DEFINE_GUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, 0xc60ac5fe, 0x252a, 0x478f, 0xa0, 0xef, 0xbc,
                 0x8f, 0xa5, 0xf7, 0xca, 0xd3);
MORL_DEFINE_GUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID, 0x14dd9a1c, 0x7cff, 0x41be, 0xb1,
                 0xb9, 0xba, 0x1a, 0xc6, 0xec, 0xb5, 0x71);
MORL_DEFINE_GUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID, 0x30da9258, 0xfeb9, 0x47a7,
                 0xa4, 0x53, 0x76, 0x3a, 0x7a, 0x8e, 0x1c, 0x5f);

// The audio capture device named by the endpoint id in `pAttributes`
// (implemented with the simulated audio devices).
HRESULT MFCreateDeviceSource(IMFAttributes* pAttributes, IMFMediaSource** ppSource);
