// Media Foundation pipeline interfaces of the simulated machine: the media
// source that a capture device hands out, the device-source keys and the
// sink writer's container types.
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

// The sink writer's container (an attribute of MFCreateSinkWriterFromURL):
// fragmented MP4 writes the file as a series of self-contained fragments.
MORL_DEFINE_GUID(MF_TRANSCODE_CONTAINERTYPE, 0x150ff23f, 0x4abc, 0x478b, 0xac, 0x4f, 0xe1, 0x91,
                 0x6f, 0xba, 0x1c, 0xca);
MORL_DEFINE_GUID(MFTranscodeContainerType_MPEG4, 0xdc6cd05d, 0xb9d0, 0x40ef, 0xbd, 0x35, 0xfa, 0x62,
                 0x2c, 0x1a, 0xb2, 0x8a);
MORL_DEFINE_GUID(MFTranscodeContainerType_FMPEG4, 0x9ba876f1, 0x419f, 0x4b77, 0xa1, 0xe0, 0x35,
                 0x95, 0x9d, 0x9d, 0x40, 0x04);

// The audio capture device named by the endpoint id in `pAttributes`
// (implemented with the simulated audio devices).
HRESULT MFCreateDeviceSource(IMFAttributes* pAttributes, IMFMediaSource** ppSource);
