#include <cwchar>

#include "audio/audio_state.h"
#include "functiondiscoverykeys_devpkey.h"

namespace winsim {
namespace audio {
namespace {

// The read-only property store of an endpoint. Only the friendly name is
// held; it may be absent, or a number where a string belongs, as some
// drivers register it.
class DevicePropertyStore final : public ComObject<IPropertyStore> {
 public:
  explicit DevicePropertyStore(const AudioEndpoint& endpoint)
      : ComObject("IPropertyStore"), name_(endpoint.name), kind_(endpoint.name_kind) {}

  HRESULT GetCount(DWORD* count) override {
    if (count == nullptr) return E_POINTER;
    *count = kind_ == FriendlyName::kAbsent ? 0 : 1;
    return S_OK;
  }

  HRESULT GetAt(DWORD index, PROPERTYKEY* key) override {
    if (key == nullptr) return E_POINTER;
    if (kind_ == FriendlyName::kAbsent || index != 0) return E_INVALIDARG;
    *key = PKEY_Device_FriendlyName;
    return S_OK;
  }

  HRESULT GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override {
    if (value == nullptr) return E_POINTER;
    PropVariantInit(value);
    if (HRESULT hr = InjectedFailure("IPropertyStore::GetValue"); FAILED(hr)) return hr;
    // An unknown key is not an error: the value stays VT_EMPTY.
    if (!(key == PKEY_Device_FriendlyName)) return S_OK;
    switch (kind_) {
      case FriendlyName::kAbsent:
        return S_OK;
      case FriendlyName::kNotString:
        value->vt = VT_UI4;
        value->ulVal = 7;
        return S_OK;
      case FriendlyName::kText: {
        const std::size_t bytes = (name_.size() + 1) * sizeof(wchar_t);
        auto* text = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
        if (text == nullptr) return E_OUTOFMEMORY;
        std::memcpy(text, name_.c_str(), bytes);
        value->vt = VT_LPWSTR;
        value->pwszVal = text;
        return S_OK;
      }
    }
    return S_OK;
  }

  HRESULT SetValue(REFPROPERTYKEY /*key*/, REFPROPVARIANT /*value*/) override { return kReadOnly; }
  HRESULT Commit() override { return kReadOnly; }

 private:
  static constexpr HRESULT kReadOnly = static_cast<HRESULT>(0x80030005u);
  std::wstring name_;
  FriendlyName kind_;
};

}  // namespace

IPropertyStore* NewDevicePropertyStore(const AudioEndpoint& endpoint) {
  return new DevicePropertyStore(endpoint);
}

}  // namespace audio
}  // namespace winsim
