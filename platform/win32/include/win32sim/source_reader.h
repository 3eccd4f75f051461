// The source reader: pulls samples from a media source, converting them to
// the media type the caller asks for. Reading is synchronous: ReadSample
// waits until the source has the next buffer or has ended.
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

HRESULT MFCreateSourceReaderFromMediaSource(IMFMediaSource* media_source, IMFAttributes* attributes,
                                            IMFSourceReader** reader);
