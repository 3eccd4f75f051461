#include "mf/sink_transforms.h"

#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "dxgi/dxgi_machine.h"
#include "mf/mf_attributes_impl.h"
#include "win32sim/com.h"
#include "winsim_gpu.h"

namespace winsim {
namespace {

// IMFTransform as the writer's transforms offer it: attributes and stream
// counts; the rest is the writer's own business (E_NOTIMPL).
template <typename... Interfaces>
class WriterTransform : public ComObject<IMFTransform, Interfaces...> {
 public:
  explicit WriterTransform(const std::wstring& name)
      : ComObject<IMFTransform, Interfaces...>("IMFTransform"), attributes_(NewAttributeStore()) {
    Describe(MFT_FRIENDLY_NAME_Attribute, name);
  }

  // Sets one of the transform's own attributes, past the counted and
  // failable IMFAttributes setters that are the caller's.
  void Describe(REFGUID key, AttributeStore::Value value) {
    dynamic_cast<AttributeHolder*>(attributes_.Get())->store().Set(key, std::move(value));
  }

  HRESULT GetAttributes(IMFAttributes** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (HRESULT hr = InjectedFailure("IMFTransform::GetAttributes"); FAILED(hr)) return hr;
    *out = ComRef<IMFAttributes>::Share(attributes_.Get()).Detach();
    return S_OK;
  }
  HRESULT GetStreamLimits(DWORD* in_min, DWORD* in_max, DWORD* out_min, DWORD* out_max) override {
    if (in_min == nullptr || in_max == nullptr || out_min == nullptr || out_max == nullptr) {
      return E_POINTER;
    }
    *in_min = *in_max = *out_min = *out_max = 1;
    return S_OK;
  }
  HRESULT GetStreamCount(DWORD* inputs, DWORD* outputs) override {
    if (inputs == nullptr || outputs == nullptr) return E_POINTER;
    *inputs = *outputs = 1;
    return S_OK;
  }
  HRESULT GetStreamIDs(DWORD, DWORD*, DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT GetInputStreamInfo(DWORD, MFT_INPUT_STREAM_INFO*) override { return E_NOTIMPL; }
  HRESULT GetOutputStreamInfo(DWORD, MFT_OUTPUT_STREAM_INFO*) override { return E_NOTIMPL; }
  HRESULT GetInputStreamAttributes(DWORD, IMFAttributes**) override { return E_NOTIMPL; }
  HRESULT GetOutputStreamAttributes(DWORD, IMFAttributes**) override { return E_NOTIMPL; }
  HRESULT DeleteInputStream(DWORD) override { return E_NOTIMPL; }
  HRESULT AddInputStreams(DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT GetInputAvailableType(DWORD, DWORD, IMFMediaType**) override { return E_NOTIMPL; }
  HRESULT GetOutputAvailableType(DWORD, DWORD, IMFMediaType**) override { return E_NOTIMPL; }
  HRESULT SetInputType(DWORD, IMFMediaType*, DWORD) override { return E_NOTIMPL; }
  HRESULT SetOutputType(DWORD, IMFMediaType*, DWORD) override { return E_NOTIMPL; }
  HRESULT GetInputCurrentType(DWORD, IMFMediaType**) override { return E_NOTIMPL; }
  HRESULT GetOutputCurrentType(DWORD, IMFMediaType**) override { return E_NOTIMPL; }
  HRESULT GetInputStatus(DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT GetOutputStatus(DWORD*) override { return E_NOTIMPL; }
  HRESULT SetOutputBounds(LONGLONG, LONGLONG) override { return E_NOTIMPL; }
  HRESULT ProcessEvent(DWORD, IMFMediaEvent*) override { return E_NOTIMPL; }
  HRESULT ProcessMessage(MFT_MESSAGE_TYPE, ULONG_PTR) override { return E_NOTIMPL; }
  HRESULT ProcessInput(DWORD, IMFSample*, DWORD) override { return E_NOTIMPL; }
  HRESULT ProcessOutput(DWORD, DWORD, MFT_OUTPUT_DATA_BUFFER*, DWORD*) override {
    return E_NOTIMPL;
  }

 private:
  ComRef<IMFAttributes> attributes_;
};

bool IsH264Property(const GUID* api) {
  return *api == CODECAPI_AVEncCommonMeanBitRate || *api == CODECAPI_AVEncCommonRateControlMode ||
         *api == CODECAPI_AVEncMPVGOPSize;
}

// The H.264 encoder: a transform with the codec properties of H264Settings.
class H264Encoder final : public WriterTransform<ICodecAPI> {
 public:
  H264Encoder(const std::wstring& name, std::shared_ptr<H264Settings> settings)
      : WriterTransform<ICodecAPI>(name), settings_(std::move(settings)) {}

  HRESULT IsSupported(const GUID* api) override {
    if (api == nullptr) return E_POINTER;
    return IsH264Property(api) ? S_OK : E_NOTIMPL;
  }
  HRESULT IsModifiable(const GUID* api) override {
    if (api == nullptr) return E_POINTER;
    if (!IsH264Property(api)) return E_NOTIMPL;
    return settings_->writing ? S_FALSE : S_OK;
  }
  HRESULT GetDefaultValue(const GUID* api, VARIANT* value) override {
    if (api == nullptr || value == nullptr) return E_POINTER;
    if (!IsH264Property(api)) return E_NOTIMPL;
    UINT32 number = 0;
    if (*api == CODECAPI_AVEncCommonMeanBitRate) number = settings_->default_bitrate;
    if (*api == CODECAPI_AVEncCommonRateControlMode) number = eAVEncCommonRateControlMode_CBR;
    return Give(number, value);
  }
  HRESULT GetValue(const GUID* api, VARIANT* value) override {
    if (api == nullptr || value == nullptr) return E_POINTER;
    if (HRESULT hr = InjectedFailure("ICodecAPI::GetValue"); FAILED(hr)) return hr;
    if (!IsH264Property(api)) return E_NOTIMPL;
    return Give(Setting(api).load(), value);
  }
  HRESULT SetValue(const GUID* api, VARIANT* value) override {
    if (api == nullptr || value == nullptr) return E_POINTER;
    if (HRESULT hr = InjectedFailure("ICodecAPI::SetValue"); FAILED(hr)) return hr;
    if (!IsH264Property(api)) return E_NOTIMPL;
    if (value->vt != VT_UI4) return E_INVALIDARG;
    const UINT32 number = value->ulVal;
    if (*api == CODECAPI_AVEncCommonMeanBitRate && number == 0) return E_INVALIDARG;
    if (*api == CODECAPI_AVEncCommonRateControlMode &&
        number > eAVEncCommonRateControlMode_UnconstrainedVBR) {
      return E_INVALIDARG;
    }
    if (settings_->writing) return MF_E_INVALIDREQUEST;
    Setting(api) = number;
    return S_OK;
  }
  HRESULT GetParameterRange(const GUID*, VARIANT*, VARIANT*, VARIANT*) override {
    return E_NOTIMPL;
  }
  HRESULT GetParameterValues(const GUID*, VARIANT**, ULONG*) override { return E_NOTIMPL; }
  HRESULT RegisterForEvent(const GUID*, LONG_PTR) override { return E_NOTIMPL; }
  HRESULT UnregisterForEvent(const GUID*) override { return E_NOTIMPL; }
  HRESULT SetAllDefaults() override { return E_NOTIMPL; }
  HRESULT SetValueWithNotify(const GUID*, VARIANT*, GUID**, ULONG*) override { return E_NOTIMPL; }
  HRESULT SetAllDefaultsWithNotify(GUID**, ULONG*) override { return E_NOTIMPL; }
  HRESULT GetAllSettings(IStream*) override { return E_NOTIMPL; }
  HRESULT SetAllSettings(IStream*) override { return E_NOTIMPL; }
  HRESULT SetAllSettingsWithNotify(IStream*, GUID**, ULONG*) override { return E_NOTIMPL; }

 private:
  static HRESULT Give(UINT32 number, VARIANT* value) {
    value->vt = VT_UI4;
    value->ulVal = number;
    return S_OK;
  }
  std::atomic<UINT32>& Setting(const GUID* api) {
    if (*api == CODECAPI_AVEncCommonMeanBitRate) return settings_->mean_bitrate;
    if (*api == CODECAPI_AVEncCommonRateControlMode) return settings_->rate_control;
    return settings_->gop_size;
  }

  std::shared_ptr<H264Settings> settings_;
};

// The machine's GPU as the hardware encoder names itself.
template <typename Transform>
void DescribeHardware(Transform* encoder) {
  const dxgi::MachineView machine = dxgi::ReadMachine();
  const UINT vendor = machine.adapters.empty() ? 0 : machine.adapters.front().desc.VendorId;
  wchar_t vendor_id[16];
  std::swprintf(vendor_id, 16, L"VEN_%04X", vendor);
  encoder->Describe(MFT_ENUM_HARDWARE_VENDOR_ID_Attribute, std::wstring(vendor_id));
  encoder->Describe(MFT_ENUM_HARDWARE_URL_Attribute, std::wstring(L"winsim:gpu/0/h264-encoder"));
  encoder->Describe(MF_SA_D3D11_AWARE, UINT32{TRUE});
}

}  // namespace

StreamTransforms VideoTransforms(bool hardware, std::shared_ptr<H264Settings> settings) {
  StreamTransforms made;
  made.h264 = settings;
  made.transforms.emplace_back(new WriterTransform<>(L"Color Converter MFT"));
  made.categories.push_back(MFT_CATEGORY_VIDEO_PROCESSOR);
  std::wstring name = L"H264 Encoder MFT";
  if (hardware) {
    const std::optional<Gpu> gpu = MachineGpu();
    name = (gpu ? gpu->name : std::wstring(L"GPU")) + L" H.264 Encoder MFT";
  }
  auto* encoder = new H264Encoder(name, std::move(settings));
  if (hardware) DescribeHardware(encoder);
  made.transforms.emplace_back(static_cast<IMFTransform*>(encoder));
  made.categories.push_back(MFT_CATEGORY_VIDEO_ENCODER);
  return made;
}

StreamTransforms AudioTransforms() {
  StreamTransforms made;
  made.transforms.emplace_back(new WriterTransform<>(L"Microsoft AAC Audio Encoder MFT"));
  made.categories.push_back(MFT_CATEGORY_AUDIO_ENCODER);
  return made;
}

}  // namespace winsim
