// RecordingSink: a sink writer that keeps what it is given. It stands where
// the recorder's MP4 sink writer would be, so the capture halves can run on
// a system whose Media Foundation cannot write a file, and the test can read
// back every sample.
#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <atomic>
#include <mutex>
#include <vector>

// A COM object is destroyed by its own Release, never through an interface
// pointer, so the SDK's interfaces have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class RecordingSink final : public IMFSinkWriter {
 public:
  struct Sample {
    DWORD stream = 0;
    LONGLONG time = 0;
    LONGLONG duration = 0;
    std::vector<BYTE> bytes;
  };

  // One reference, owned by the caller.
  static RecordingSink* Create() { return new RecordingSink(); }

  std::vector<Sample> Samples() const;
  DWORD StreamCount() const;
  // Streams whose input type was set.
  DWORD InputTypesSet() const;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IMFSinkWriter
  HRESULT STDMETHODCALLTYPE AddStream(IMFMediaType* type, DWORD* index) override;
  HRESULT STDMETHODCALLTYPE SetInputMediaType(DWORD index, IMFMediaType* type,
                                              IMFAttributes* encoding) override;
  HRESULT STDMETHODCALLTYPE BeginWriting() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE WriteSample(DWORD index, IMFSample* sample) override;
  HRESULT STDMETHODCALLTYPE SendStreamTick(DWORD, LONGLONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PlaceMarker(DWORD, LPVOID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE NotifyEndOfSegment(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Flush(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Finalize() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetServiceForStream(DWORD, REFGUID, REFIID, LPVOID* object) override;
  HRESULT STDMETHODCALLTYPE GetStatistics(DWORD, MF_SINK_WRITER_STATISTICS*) override {
    return E_NOTIMPL;
  }

 private:
  RecordingSink() = default;
  ~RecordingSink() = default;

  std::atomic<ULONG> refs_{1};
  mutable std::mutex mutex_;
  DWORD streams_ = 0;
  DWORD typed_ = 0;
  std::vector<Sample> samples_;
};
#pragma GCC diagnostic pop
