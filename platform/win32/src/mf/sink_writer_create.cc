// MFCreateSinkWriterFromURL of the simulated machine.
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <memory>
#include <utility>

#include "mf/sink_writer.h"
#include "mf/sink_writer_path.h"
#include "mf/sink_writer_record.h"

namespace {

constexpr HRESULT kPlatformNotInitialized = static_cast<HRESULT>(0xC00D36B0u);

}  // namespace

HRESULT MFCreateSinkWriterFromURL(LPCWSTR pwszOutputURL, IMFByteStream* pByteStream,
                                  IMFAttributes* pAttributes, IMFSinkWriter** ppSinkWriter) {
  if (ppSinkWriter != nullptr) *ppSinkWriter = nullptr;
  if (HRESULT hr = winsim::InjectedFailure("MFCreateSinkWriterFromURL"); FAILED(hr)) return hr;
  if (ppSinkWriter == nullptr) return E_POINTER;
  if (HRESULT hr = winsim::ComApartmentCheck(); FAILED(hr)) return hr;
  if (pByteStream != nullptr) return E_NOTIMPL;
  if (pwszOutputURL == nullptr) return E_INVALIDARG;
  if (!winsim::MediaFoundationStarted()) return kPlatformNotInitialized;

  const bool encode = winsim::SinkEncodingEnabled();
  std::string path;
  auto file = std::make_unique<winsim::FileOpen>();
  if (HRESULT hr = winsim::ResolveSinkPath(pwszOutputURL, encode, &path, file.get()); FAILED(hr)) {
    return hr;
  }
  UINT32 throttling_disabled = 0;
  UINT32 hardware_transforms = 0;
  GUID container = MFTranscodeContainerType_MPEG4;
  if (pAttributes != nullptr) {
    pAttributes->GetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, &throttling_disabled);
    pAttributes->GetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, &hardware_transforms);
    pAttributes->GetGUID(MF_TRANSCODE_CONTAINERTYPE, &container);
  }
  mp4::OutputOptions output;
  output.fragmented = container == MFTranscodeContainerType_FMPEG4;
  output.max_bytes = winsim::DiskFreeBytes();

  winsim::SinkWriterRecord record;
  record.path = pwszOutputURL;
  record.throttling_disabled = throttling_disabled != 0;
  record.fragmented = output.fragmented;
  const winsim::SinkRecordHandle handle = winsim::SinkRecordHandle::Add(std::move(record));
  *ppSinkWriter = new winsim::SinkWriter(encode ? path : std::string(), throttling_disabled == 0,
                                         hardware_transforms != 0, output, handle,
                                         winsim::EncoderLatencyFrames(), std::move(file));
  return S_OK;
}
