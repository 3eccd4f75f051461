// Media Foundation transforms: IMFTransform and the attributes that describe
// a transform. The simulation hands out the transforms a sink writer chose
// for a stream (IMFSinkWriterEx::GetTransformForStream); they answer
// GetAttributes, GetStreamLimits and GetStreamCount, and E_NOTIMPL for the
// rest, as the writer drives them itself.
#pragma once

#include <mfobjects.h>

#include "win32sim/com.h"

struct IMFMediaEvent;

struct MFT_INPUT_STREAM_INFO {
  LONGLONG hnsMaxLatency;
  DWORD dwFlags;
  DWORD cbSize;
  DWORD cbMaxLookahead;
  DWORD cbAlignment;
};

struct MFT_OUTPUT_STREAM_INFO {
  DWORD dwFlags;
  DWORD cbSize;
  DWORD cbAlignment;
};

struct MFT_OUTPUT_DATA_BUFFER {
  DWORD dwStreamID;
  IMFSample* pSample;
  DWORD dwStatus;
  struct IMFCollection* pEvents;
};

enum MFT_MESSAGE_TYPE {
  MFT_MESSAGE_COMMAND_FLUSH = 0,
  MFT_MESSAGE_COMMAND_DRAIN = 0x1,
  MFT_MESSAGE_SET_D3D_MANAGER = 0x2,
  MFT_MESSAGE_NOTIFY_BEGIN_STREAMING = 0x10000000,
  MFT_MESSAGE_NOTIFY_END_STREAMING = 0x10000001,
  MFT_MESSAGE_NOTIFY_END_OF_STREAM = 0x10000002,
  MFT_MESSAGE_NOTIFY_START_OF_STREAM = 0x10000003,
};

MORL_DEFINE_GUID(IID_IMFTransform, 0xbf94c121, 0x5b05, 0x4e6f, 0x80, 0x00, 0xba, 0x59, 0x89, 0x61,
                 0x41, 0x4d);

struct IMFTransform : public IUnknown {
  virtual HRESULT GetStreamLimits(DWORD* pdwInputMinimum, DWORD* pdwInputMaximum,
                                  DWORD* pdwOutputMinimum, DWORD* pdwOutputMaximum) = 0;
  virtual HRESULT GetStreamCount(DWORD* pcInputStreams, DWORD* pcOutputStreams) = 0;
  virtual HRESULT GetStreamIDs(DWORD dwInputIDArraySize, DWORD* pdwInputIDs,
                               DWORD dwOutputIDArraySize, DWORD* pdwOutputIDs) = 0;
  virtual HRESULT GetInputStreamInfo(DWORD dwInputStreamID, MFT_INPUT_STREAM_INFO* pStreamInfo) = 0;
  virtual HRESULT GetOutputStreamInfo(DWORD dwOutputStreamID,
                                      MFT_OUTPUT_STREAM_INFO* pStreamInfo) = 0;
  virtual HRESULT GetAttributes(IMFAttributes** pAttributes) = 0;
  virtual HRESULT GetInputStreamAttributes(DWORD dwInputStreamID, IMFAttributes** pAttributes) = 0;
  virtual HRESULT GetOutputStreamAttributes(DWORD dwOutputStreamID,
                                            IMFAttributes** pAttributes) = 0;
  virtual HRESULT DeleteInputStream(DWORD dwStreamID) = 0;
  virtual HRESULT AddInputStreams(DWORD cStreams, DWORD* adwStreamIDs) = 0;
  virtual HRESULT GetInputAvailableType(DWORD dwInputStreamID, DWORD dwTypeIndex,
                                        IMFMediaType** ppType) = 0;
  virtual HRESULT GetOutputAvailableType(DWORD dwOutputStreamID, DWORD dwTypeIndex,
                                         IMFMediaType** ppType) = 0;
  virtual HRESULT SetInputType(DWORD dwInputStreamID, IMFMediaType* pType, DWORD dwFlags) = 0;
  virtual HRESULT SetOutputType(DWORD dwOutputStreamID, IMFMediaType* pType, DWORD dwFlags) = 0;
  virtual HRESULT GetInputCurrentType(DWORD dwInputStreamID, IMFMediaType** ppType) = 0;
  virtual HRESULT GetOutputCurrentType(DWORD dwOutputStreamID, IMFMediaType** ppType) = 0;
  virtual HRESULT GetInputStatus(DWORD dwInputStreamID, DWORD* pdwFlags) = 0;
  virtual HRESULT GetOutputStatus(DWORD* pdwFlags) = 0;
  virtual HRESULT SetOutputBounds(LONGLONG hnsLowerBound, LONGLONG hnsUpperBound) = 0;
  virtual HRESULT ProcessEvent(DWORD dwInputStreamID, IMFMediaEvent* pEvent) = 0;
  virtual HRESULT ProcessMessage(MFT_MESSAGE_TYPE eMessage, ULONG_PTR ulParam) = 0;
  virtual HRESULT ProcessInput(DWORD dwInputStreamID, IMFSample* pSample, DWORD dwFlags) = 0;
  virtual HRESULT ProcessOutput(DWORD dwFlags, DWORD cOutputBufferCount,
                                MFT_OUTPUT_DATA_BUFFER* pOutputSamples, DWORD* pdwStatus) = 0;

 protected:
  ~IMFTransform() = default;
};
MORL_INTERFACE_ID(IMFTransform, IID_IMFTransform);

// Transform attributes (IMFTransform::GetAttributes).
// String: the device of a hardware transform; only hardware transforms have it.
MORL_DEFINE_GUID(MFT_ENUM_HARDWARE_URL_Attribute, 0x2fb866ac, 0xb078, 0x4942, 0xab, 0x6c, 0x00,
                 0x3d, 0x05, 0xcd, 0xa6, 0x74);
// String: "VEN_" and the hardware vendor's PCI id in four hex digits.
MORL_DEFINE_GUID(MFT_ENUM_HARDWARE_VENDOR_ID_Attribute, 0x3aecb0cc, 0x035b, 0x4bcc, 0x81, 0x85,
                 0x2b, 0x8d, 0x55, 0x1e, 0xf3, 0xaf);
// String: the transform's name.
MORL_DEFINE_GUID(MFT_FRIENDLY_NAME_Attribute, 0x314ffbae, 0x5b41, 0x4c95, 0x9c, 0x19, 0x4e, 0x7d,
                 0x58, 0x6f, 0xac, 0xe3);
// UINT32: TRUE when the transform takes Direct3D 11 textures.
MORL_DEFINE_GUID(MF_SA_D3D11_AWARE, 0x206b4fc8, 0xfcf9, 0x4c51, 0xaf, 0xe3, 0x97, 0x64, 0x36, 0x9e,
                 0x33, 0xa0);
