// Audio clients of an endpoint (shared mode) and their capture and render
// services. A capture client hands out the endpoint's audio in packets:
// GetBuffer lends the oldest packet, ReleaseBuffer returns it. A render
// client lends free space of the endpoint buffer: GetBuffer lends it,
// ReleaseBuffer queues what was written there for the device to play.
#pragma once

#include "audiosessiontypes.h"
#include "ksmedia.h"
#include "mmreg.h"
#include "win32sim/base.h"
#include "win32sim/com.h"

enum _AUDCLNT_BUFFERFLAGS {
  AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY = 0x1,
  AUDCLNT_BUFFERFLAGS_SILENT = 0x2,
  AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR = 0x4,
};

#define FACILITY_AUDCLNT 0x889
#define AUDCLNT_ERR(n) MAKE_HRESULT(1, FACILITY_AUDCLNT, n)
#define AUDCLNT_SUCCESS(n) MAKE_HRESULT(0, FACILITY_AUDCLNT, n)
#define AUDCLNT_E_NOT_INITIALIZED AUDCLNT_ERR(0x1)
#define AUDCLNT_E_ALREADY_INITIALIZED AUDCLNT_ERR(0x2)
#define AUDCLNT_E_WRONG_ENDPOINT_TYPE AUDCLNT_ERR(0x3)
#define AUDCLNT_E_DEVICE_INVALIDATED AUDCLNT_ERR(0x4)
#define AUDCLNT_E_NOT_STOPPED AUDCLNT_ERR(0x5)
#define AUDCLNT_E_BUFFER_TOO_LARGE AUDCLNT_ERR(0x6)
#define AUDCLNT_E_OUT_OF_ORDER AUDCLNT_ERR(0x7)
#define AUDCLNT_E_UNSUPPORTED_FORMAT AUDCLNT_ERR(0x8)
#define AUDCLNT_E_INVALID_SIZE AUDCLNT_ERR(0x9)
#define AUDCLNT_E_BUFFER_OPERATION_PENDING AUDCLNT_ERR(0xb)
#define AUDCLNT_S_BUFFER_EMPTY AUDCLNT_SUCCESS(0x1)

MORL_DEFINE_GUID(IID_IAudioClient, 0x1cb9ad4c, 0xdbfa, 0x4c32, 0xb1, 0x78, 0xc2, 0xf5, 0x68, 0xa7,
                 0x03, 0xb2);
MORL_DEFINE_GUID(IID_IAudioCaptureClient, 0xc8adbd64, 0xe71e, 0x48a0, 0xa4, 0xde, 0x18, 0x5c, 0x39,
                 0x5c, 0xd3, 0x17);
MORL_DEFINE_GUID(IID_IAudioRenderClient, 0xf294acfc, 0x3146, 0x4483, 0xa7, 0xbf, 0xad, 0xdc, 0xa7,
                 0xc2, 0x60, 0xe2);

struct IAudioClient : IUnknown {
  virtual HRESULT Initialize(AUDCLNT_SHAREMODE share_mode, DWORD stream_flags,
                             REFERENCE_TIME buffer_duration, REFERENCE_TIME periodicity,
                             const WAVEFORMATEX* format, LPCGUID session_guid) = 0;
  virtual HRESULT GetBufferSize(UINT32* buffer_frames) = 0;
  virtual HRESULT GetCurrentPadding(UINT32* padding_frames) = 0;
  virtual HRESULT GetMixFormat(WAVEFORMATEX** device_format) = 0;
  virtual HRESULT Start() = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT GetService(REFIID iid, void** object) = 0;

 protected:
  ~IAudioClient() = default;
};
MORL_INTERFACE_ID(IAudioClient, IID_IAudioClient);

struct IAudioCaptureClient : IUnknown {
  virtual HRESULT GetBuffer(BYTE** data, UINT32* frames_to_read, DWORD* flags,
                            UINT64* device_position, UINT64* qpc_position) = 0;
  virtual HRESULT ReleaseBuffer(UINT32 frames_read) = 0;
  virtual HRESULT GetNextPacketSize(UINT32* frames_in_next_packet) = 0;

 protected:
  ~IAudioCaptureClient() = default;
};
MORL_INTERFACE_ID(IAudioCaptureClient, IID_IAudioCaptureClient);

struct IAudioRenderClient : IUnknown {
  virtual HRESULT GetBuffer(UINT32 frames_requested, BYTE** data) = 0;
  virtual HRESULT ReleaseBuffer(UINT32 frames_written, DWORD flags) = 0;

 protected:
  ~IAudioRenderClient() = default;
};
MORL_INTERFACE_ID(IAudioRenderClient, IID_IAudioRenderClient);
