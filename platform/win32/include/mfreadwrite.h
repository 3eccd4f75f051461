// Media Foundation sink writer: encodes uncompressed samples into a media
// file. The simulation writes a real MP4 file (H.264 and AAC) and keeps a
// record of every writer for tests (winsim::SinkWriters in winsim.h).
#pragma once

#include <mfobjects.h>
#include <mftransform.h>

#include "win32sim/com.h"
#include "win32sim/mf_readwrite_constants.h"
#include "win32sim/source_reader.h"

struct IMFByteStream;
using QWORD = std::uint64_t;

struct MF_SINK_WRITER_STATISTICS {
  DWORD cb;
  LONGLONG llLastTimestampReceived;
  LONGLONG llLastTimestampEncoded;
  LONGLONG llLastTimestampProcessed;
  LONGLONG llLastStreamTickReceived;
  LONGLONG llLastSinkSampleRequest;
  QWORD qwNumSamplesReceived;
  QWORD qwNumSamplesEncoded;
  QWORD qwNumSamplesProcessed;
  QWORD qwNumStreamTicksReceived;
  DWORD dwByteCountQueued;
  QWORD qwByteCountProcessed;
  DWORD dwNumOutstandingSinkSampleRequests;
  DWORD dwAverageSampleRateReceived;
  DWORD dwAverageSampleRateEncoded;
  DWORD dwAverageSampleRateProcessed;
};

MORL_DEFINE_GUID(IID_IMFSinkWriter, 0x3137f1cd, 0xfe5e, 0x4805, 0xa5, 0xd8, 0xfb, 0x47, 0x74, 0x48,
                 0xcb, 0x3d);

struct IMFSinkWriter : public IUnknown {
  virtual HRESULT AddStream(IMFMediaType* pTargetMediaType, DWORD* pdwStreamIndex) = 0;
  virtual HRESULT SetInputMediaType(DWORD dwStreamIndex, IMFMediaType* pInputMediaType,
                                    IMFAttributes* pEncodingParameters) = 0;
  virtual HRESULT BeginWriting() = 0;
  virtual HRESULT WriteSample(DWORD dwStreamIndex, IMFSample* pSample) = 0;
  virtual HRESULT SendStreamTick(DWORD dwStreamIndex, LONGLONG llTimestamp) = 0;
  virtual HRESULT PlaceMarker(DWORD dwStreamIndex, LPVOID pvContext) = 0;
  virtual HRESULT NotifyEndOfSegment(DWORD dwStreamIndex) = 0;
  virtual HRESULT Flush(DWORD dwStreamIndex) = 0;
  virtual HRESULT Finalize() = 0;
  virtual HRESULT GetServiceForStream(DWORD dwStreamIndex, REFGUID guidService, REFIID riid,
                                      LPVOID* ppvObject) = 0;
  virtual HRESULT GetStatistics(DWORD dwStreamIndex, MF_SINK_WRITER_STATISTICS* pStats) = 0;

 protected:
  ~IMFSinkWriter() = default;
};
MORL_INTERFACE_ID(IMFSinkWriter, IID_IMFSinkWriter);

MORL_DEFINE_GUID(IID_IMFSinkWriterEx, 0x588d72ab, 0x5bc1, 0x496a, 0x87, 0x14, 0xb7, 0x06, 0x17,
                 0x14, 0x1b, 0x25);

// The transforms a stream's samples pass through, in order: index 0 first.
struct IMFSinkWriterEx : public IMFSinkWriter {
  virtual HRESULT GetTransformForStream(DWORD dwStreamIndex, DWORD dwTransformIndex,
                                        GUID* pGuidCategory, IMFTransform** ppTransform) = 0;

 protected:
  ~IMFSinkWriterEx() = default;
};
MORL_INTERFACE_ID(IMFSinkWriterEx, IID_IMFSinkWriterEx);

// The container follows the URL's extension (.mp4, .m4v, .m4a). A byte
// stream in place of the URL is not supported by the simulation.
HRESULT MFCreateSinkWriterFromURL(LPCWSTR pwszOutputURL, IMFByteStream* pByteStream,
                                  IMFAttributes* pAttributes, IMFSinkWriter** ppSinkWriter);
