// The source reader: pulls samples from a media source, converting them to
// the media type the caller asks for. Synchronous by default: ReadSample
// waits until the source has the next buffer or has ended. Created with
// MF_SOURCE_READER_ASYNC_CALLBACK, it is asynchronous: ReadSample (with null
// out-parameters) queues a request and returns, and the reader's own thread
// answers each request through IMFSourceReaderCallback::OnReadSample (an
// injected ReadSample failure arrives there too). Flush drops the requests
// still waiting and is answered by OnFlush.
#pragma once

#include "mfidl.h"
#include "mfobjects.h"
#include "propidl.h"
#include "win32sim/base.h"
#include "win32sim/com.h"
#include "win32sim/mf_readwrite_constants.h"

MORL_DEFINE_GUID(IID_IMFSourceReader, 0x70ae66f2, 0xc809, 0x4e4f, 0x89, 0x15, 0xbd, 0xcb, 0x40,
                 0x6b, 0x79, 0x93);

struct IMFSourceReader : public IUnknown {
  virtual HRESULT GetStreamSelection(DWORD index, BOOL* selected) = 0;
  virtual HRESULT SetStreamSelection(DWORD index, BOOL selected) = 0;
  virtual HRESULT GetNativeMediaType(DWORD index, DWORD type_index, IMFMediaType** type) = 0;
  virtual HRESULT GetCurrentMediaType(DWORD index, IMFMediaType** type) = 0;
  virtual HRESULT SetCurrentMediaType(DWORD index, DWORD* reserved, IMFMediaType* type) = 0;
  virtual HRESULT SetCurrentPosition(REFGUID format, REFPROPVARIANT position) = 0;
  virtual HRESULT ReadSample(DWORD index, DWORD flags, DWORD* actual_index, DWORD* stream_flags,
                             LONGLONG* timestamp, IMFSample** sample) = 0;
  virtual HRESULT Flush(DWORD index) = 0;
  virtual HRESULT GetServiceForStream(DWORD index, REFGUID service, REFIID iid, LPVOID* object) = 0;
  virtual HRESULT GetPresentationAttribute(DWORD index, REFGUID attribute, PROPVARIANT* value) = 0;

 protected:
  ~IMFSourceReader() = default;
};
MORL_INTERFACE_ID(IMFSourceReader, IID_IMFSourceReader);

MORL_DEFINE_GUID(IID_IMFSourceReaderCallback, 0xdeec8d99, 0xfa1d, 0x4d82, 0x84, 0xc2, 0x2c, 0x89,
                 0x69, 0x94, 0x48, 0x67);

struct IMFMediaEvent;

struct IMFSourceReaderCallback : public IUnknown {
  virtual HRESULT OnReadSample(HRESULT hr, DWORD stream_index, DWORD stream_flags,
                               LONGLONG timestamp, IMFSample* sample) = 0;
  virtual HRESULT OnFlush(DWORD stream_index) = 0;
  virtual HRESULT OnEvent(DWORD stream_index, IMFMediaEvent* event) = 0;

 protected:
  ~IMFSourceReaderCallback() = default;
};
MORL_INTERFACE_ID(IMFSourceReaderCallback, IID_IMFSourceReaderCallback);

HRESULT MFCreateSourceReaderFromMediaSource(IMFMediaSource* media_source, IMFAttributes* attributes,
                                            IMFSourceReader** reader);
