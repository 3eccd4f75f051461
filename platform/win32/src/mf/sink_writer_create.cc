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

// MF_SINK_WRITER_D3D_MANAGER, when set, must hold a DXGI device manager.
HRESULT ReadDeviceManager(IMFAttributes* attributes,
                          winsim::ComRef<IMFDXGIDeviceManager>* manager) {
  MF_ATTRIBUTE_TYPE type{};
  if (attributes == nullptr || FAILED(attributes->GetItemType(MF_SINK_WRITER_D3D_MANAGER, &type))) {
    return S_OK;
  }
  IMFDXGIDeviceManager* found = nullptr;
  if (FAILED(attributes->GetUnknown(MF_SINK_WRITER_D3D_MANAGER, IID_IMFDXGIDeviceManager,
                                    reinterpret_cast<void**>(&found)))) {
    return E_INVALIDARG;
  }
  *manager = winsim::ComRef<IMFDXGIDeviceManager>(found);
  return S_OK;
}

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

  winsim::ComRef<IMFDXGIDeviceManager> manager;
  if (HRESULT hr = ReadDeviceManager(pAttributes, &manager); FAILED(hr)) return hr;
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
  record.d3d_manager = static_cast<bool>(manager);
  const winsim::SinkRecordHandle handle = winsim::SinkRecordHandle::Add(std::move(record));
  auto* writer = new winsim::SinkWriter(encode ? path : std::string(), throttling_disabled == 0,
                                        hardware_transforms != 0, output, handle,
                                        winsim::EncoderLatencyFrames(), std::move(file));
  writer->HoldDeviceManager(std::move(manager));
  *ppSinkWriter = writer;
  return S_OK;
}
