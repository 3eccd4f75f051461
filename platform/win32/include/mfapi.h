// Media Foundation platform functions of the simulated machine: start-up and
// shut-down, attribute stores, media types, memory buffers, samples, and the
// media type keys and format GUIDs the recorder uses.
#pragma once

#include "mferror.h"
#include "mfobjects.h"
#include "win32sim/mf_readwrite_constants.h"

#define MF_SDK_VERSION 0x2
#define MF_API_VERSION 0x0070
#define MF_VERSION (MF_SDK_VERSION << 16 | MF_API_VERSION)
#define MFSTARTUP_NOSOCKET 0x1
#define MFSTARTUP_LITE (MFSTARTUP_NOSOCKET)
#define MFSTARTUP_FULL 0

// Each successful MFStartup counts as one live object ("other:MFStartup")
// until the MFShutdown that balances it.
HRESULT MFStartup(ULONG Version, DWORD dwFlags = MFSTARTUP_FULL);
HRESULT MFShutdown();

HRESULT MFCreateAttributes(IMFAttributes** ppMFAttributes, UINT32 cInitialSize);
HRESULT MFCreateMediaType(IMFMediaType** ppMFType);
HRESULT MFCreateMemoryBuffer(DWORD cbMaxLength, IMFMediaBuffer** ppBuffer);
HRESULT MFCreateSample(IMFSample** ppIMFSample);
// A DXGI device manager without a device, and the token its ResetDevice
// wants (its rules: platform/win32/src/mf/dxgi_device_manager.cc).
HRESULT MFCreateDXGIDeviceManager(UINT* resetToken, IMFDXGIDeviceManager** ppDeviceManager);
// A media buffer over subresource `uSubresourceIndex` of a texture
// (`riid` IID_ID3D11Texture2D; platform/win32/src/mf/dxgi_surface_buffer.cc).
HRESULT MFCreateDXGISurfaceBuffer(REFIID riid, IUnknown* punkSurface, UINT uSubresourceIndex,
                                  BOOL fBottomUpWhenLinear, IMFMediaBuffer** ppBuffer);

inline UINT64 Pack2UINT32AsUINT64(UINT32 unHigh, UINT32 unLow) {
  return (static_cast<UINT64>(unHigh) << 32) | unLow;
}
inline void Unpack2UINT32AsUINT64(UINT64 unPacked, UINT32* punHigh, UINT32* punLow) {
  *punHigh = static_cast<UINT32>(unPacked >> 32);
  *punLow = static_cast<UINT32>(unPacked);
}
inline HRESULT MFSetAttribute2UINT32asUINT64(IMFAttributes* pAttributes, REFGUID guidKey,
                                             UINT32 unHigh32, UINT32 unLow32) {
  return pAttributes->SetUINT64(guidKey, Pack2UINT32AsUINT64(unHigh32, unLow32));
}
inline HRESULT MFGetAttribute2UINT32asUINT64(IMFAttributes* pAttributes, REFGUID guidKey,
                                             UINT32* punHigh32, UINT32* punLow32) {
  UINT64 packed = 0;
  const HRESULT hr = pAttributes->GetUINT64(guidKey, &packed);
  if (SUCCEEDED(hr)) Unpack2UINT32AsUINT64(packed, punHigh32, punLow32);
  return hr;
}
inline HRESULT MFSetAttributeSize(IMFAttributes* pAttributes, REFGUID guidKey, UINT32 unWidth,
                                  UINT32 unHeight) {
  return MFSetAttribute2UINT32asUINT64(pAttributes, guidKey, unWidth, unHeight);
}
inline HRESULT MFGetAttributeSize(IMFAttributes* pAttributes, REFGUID guidKey, UINT32* punWidth,
                                  UINT32* punHeight) {
  return MFGetAttribute2UINT32asUINT64(pAttributes, guidKey, punWidth, punHeight);
}
inline HRESULT MFSetAttributeRatio(IMFAttributes* pAttributes, REFGUID guidKey, UINT32 unNumerator,
                                   UINT32 unDenominator) {
  return MFSetAttribute2UINT32asUINT64(pAttributes, guidKey, unNumerator, unDenominator);
}
inline HRESULT MFGetAttributeRatio(IMFAttributes* pAttributes, REFGUID guidKey,
                                   UINT32* punNumerator, UINT32* punDenominator) {
  return MFGetAttribute2UINT32asUINT64(pAttributes, guidKey, punNumerator, punDenominator);
}
inline UINT32 MFGetAttributeUINT32(IMFAttributes* pAttributes, REFGUID guidKey, UINT32 unDefault) {
  UINT32 value = unDefault;
  if (FAILED(pAttributes->GetUINT32(guidKey, &value))) value = unDefault;
  return value;
}

// Media type keys.
MORL_DEFINE_GUID(MF_MT_MAJOR_TYPE, 0x48eba18e, 0xf8c9, 0x4687, 0xbf, 0x11, 0x0a, 0x74, 0xc9, 0xf9,
                 0x6a, 0x8f);
MORL_DEFINE_GUID(MF_MT_SUBTYPE, 0xf7e34c9a, 0x42e8, 0x4714, 0xb7, 0x4b, 0xcb, 0x29, 0xd7, 0x2c,
                 0x35, 0xe5);
MORL_DEFINE_GUID(MF_MT_ALL_SAMPLES_INDEPENDENT, 0xc9173739, 0x5e56, 0x461c, 0xb7, 0x13, 0x46, 0xfb,
                 0x99, 0x5c, 0xb9, 0x5f);
MORL_DEFINE_GUID(MF_MT_MAX_KEYFRAME_SPACING, 0xc16eb52b, 0x73a1, 0x476f, 0x8d, 0x62, 0x83, 0x9d,
                 0x6a, 0x02, 0x06, 0x52);
MORL_DEFINE_GUID(MF_MT_AVG_BITRATE, 0x20332624, 0xfb0d, 0x4d9e, 0xbd, 0x0d, 0xcb, 0xf6, 0x78, 0x6c,
                 0x10, 0x2e);
MORL_DEFINE_GUID(MF_MT_FRAME_SIZE, 0x1652c33d, 0xd6b2, 0x4012, 0xb8, 0x34, 0x72, 0x03, 0x08, 0x49,
                 0xa3, 0x7d);
MORL_DEFINE_GUID(MF_MT_FRAME_RATE, 0xc459a2e8, 0x3d2c, 0x4e44, 0xb1, 0x32, 0xfe, 0xe5, 0x15, 0x6c,
                 0x7b, 0xb0);
MORL_DEFINE_GUID(MF_MT_PIXEL_ASPECT_RATIO, 0xc6376a1e, 0x8d0a, 0x4027, 0xbe, 0x45, 0x6d, 0x9a, 0x0a,
                 0xd3, 0x9b, 0xb6);
MORL_DEFINE_GUID(MF_MT_INTERLACE_MODE, 0xe2724bb8, 0xe676, 0x4806, 0xb4, 0xb2, 0xa8, 0xd6, 0xef,
                 0xb4, 0x4c, 0xcd);
MORL_DEFINE_GUID(MF_MT_DEFAULT_STRIDE, 0x644b4e48, 0x1e02, 0x4516, 0xb0, 0xeb, 0xc0, 0x1c, 0xa9,
                 0xd4, 0x9a, 0xc6);
MORL_DEFINE_GUID(MF_MT_AUDIO_SAMPLES_PER_SECOND, 0x5faeeae7, 0x0290, 0x4c31, 0x9e, 0x8a, 0xc5, 0x34,
                 0xf6, 0x8d, 0x9d, 0xba);
MORL_DEFINE_GUID(MF_MT_AUDIO_NUM_CHANNELS, 0x37e48bf5, 0x645e, 0x4c5b, 0x89, 0xde, 0xad, 0xa9, 0xe2,
                 0x9b, 0x69, 0x6a);
MORL_DEFINE_GUID(MF_MT_AUDIO_BITS_PER_SAMPLE, 0xf2deb57f, 0x40fa, 0x4764, 0xaa, 0x33, 0xed, 0x4f,
                 0x2d, 0x1f, 0xf6, 0x69);
MORL_DEFINE_GUID(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, 0x1aab75c8, 0xcfef, 0x451c, 0xab, 0x95, 0xac,
                 0x03, 0x4b, 0x8e, 0x17, 0x31);
MORL_DEFINE_GUID(MF_MT_AUDIO_CHANNEL_MASK, 0x55fb5765, 0x644a, 0x4caf, 0x84, 0x79, 0x93, 0x89, 0x83,
                 0xbb, 0x15, 0x88);
MORL_DEFINE_GUID(MF_MT_AUDIO_BLOCK_ALIGNMENT, 0x322de230, 0x9eeb, 0x43bd, 0xab, 0x7a, 0xff, 0x41,
                 0x22, 0x51, 0x54, 0x1d);
MORL_DEFINE_GUID(MF_MT_AAC_PAYLOAD_TYPE, 0xbfbabe79, 0x7434, 0x4d1c, 0x94, 0xf0, 0x72, 0xa3, 0xb9,
                 0xe1, 0x71, 0x88);
MORL_DEFINE_GUID(MF_MT_AAC_AUDIO_PROFILE_LEVEL_INDICATION, 0x7632f0e6, 0x9538, 0x4d61, 0xac, 0xda,
                 0xea, 0x29, 0xc8, 0xc1, 0x44, 0x56);

// Transform categories.
MORL_DEFINE_GUID(MFT_CATEGORY_VIDEO_ENCODER, 0xf79eac7d, 0xe545, 0x4387, 0xbd, 0xee, 0xd6, 0x47,
                 0xd7, 0xbd, 0xe4, 0x2a);
MORL_DEFINE_GUID(MFT_CATEGORY_VIDEO_PROCESSOR, 0x302ea3fc, 0xaa5f, 0x47f9, 0x9f, 0x7a, 0xc2, 0x18,
                 0x8b, 0xb1, 0x63, 0x02);
MORL_DEFINE_GUID(MFT_CATEGORY_AUDIO_ENCODER, 0x91c64bd0, 0xf91e, 0x4d8c, 0x92, 0x76, 0xdb, 0x24,
                 0x82, 0x79, 0xd9, 0x75);

// Major types.
MORL_DEFINE_GUID(MFMediaType_Audio, 0x73647561, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38,
                 0x9b, 0x71);
MORL_DEFINE_GUID(MFMediaType_Video, 0x73646976, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38,
                 0x9b, 0x71);

// Subtypes: a format code in the first field of the common media subtype base.
#define MORL_DEFINE_MEDIA_SUBTYPE(name, code) \
  MORL_DEFINE_GUID(name, code, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71)
MORL_DEFINE_MEDIA_SUBTYPE(MFVideoFormat_RGB32, 22);         // D3DFMT_X8R8G8B8
MORL_DEFINE_MEDIA_SUBTYPE(MFVideoFormat_H264, 0x34363248);  // 'H264'
MORL_DEFINE_MEDIA_SUBTYPE(MFAudioFormat_PCM, 0x0001);       // WAVE_FORMAT_PCM
MORL_DEFINE_MEDIA_SUBTYPE(MFAudioFormat_Float, 0x0003);     // WAVE_FORMAT_IEEE_FLOAT
MORL_DEFINE_MEDIA_SUBTYPE(MFAudioFormat_AAC, 0x1610);       // WAVE_FORMAT_MPEG_HEAAC
