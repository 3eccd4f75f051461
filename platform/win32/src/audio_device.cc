#include "audio_state.h"

namespace winsim {
namespace audio {
namespace {

// One audio endpoint as the enumerator found it. It keeps the endpoint's
// settings of that moment; the signal of a running client follows the
// machine (see CurrentSignal).
class AudioDevice final : public ComObject<IMMDevice> {
 public:
  AudioDevice(bool render, const AudioEndpoint& endpoint)
      : ComObject("IMMDevice"), render_(render), endpoint_(endpoint) {}

  HRESULT Activate(REFIID iid, DWORD /*cls_context*/, PROPVARIANT* /*activation_params*/,
                   void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (HRESULT hr = InjectedFailure("IMMDevice::Activate"); FAILED(hr)) return hr;
    if (iid != IID_IAudioClient) return E_NOINTERFACE;
    *object = NewAudioClient(render_, endpoint_);
    return S_OK;
  }

  HRESULT OpenPropertyStore(DWORD access, IPropertyStore** properties) override {
    if (properties == nullptr) return E_POINTER;
    *properties = nullptr;
    if (HRESULT hr = InjectedFailure("IMMDevice::OpenPropertyStore"); FAILED(hr)) return hr;
    // Endpoint properties are writable only by administrators.
    if (access != STGM_READ) return E_ACCESSDENIED;
    *properties = NewDevicePropertyStore(endpoint_);
    return S_OK;
  }

  HRESULT GetId(LPWSTR* id) override {
    if (id == nullptr) return E_POINTER;
    *id = nullptr;
    if (HRESULT hr = InjectedFailure("IMMDevice::GetId"); FAILED(hr)) return hr;
    const std::size_t bytes = (endpoint_.id.size() + 1) * sizeof(wchar_t);
    auto* text = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
    if (text == nullptr) return E_OUTOFMEMORY;
    std::memcpy(text, endpoint_.id.c_str(), bytes);
    *id = text;
    return S_OK;
  }

  HRESULT GetState(DWORD* state) override {
    if (state == nullptr) return E_POINTER;
    *state = DEVICE_STATE_ACTIVE;
    return S_OK;
  }

 private:
  bool render_;
  AudioEndpoint endpoint_;
};

class DeviceEnumerator final : public ComObject<IMMDeviceEnumerator> {
 public:
  DeviceEnumerator() : ComObject("IMMDeviceEnumerator") {}

  HRESULT EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection** devices) override {
    if (devices != nullptr) *devices = nullptr;
    return E_NOTIMPL;
  }

  HRESULT GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** endpoint) override {
    if (endpoint == nullptr) return E_POINTER;
    *endpoint = nullptr;
    if (HRESULT hr = InjectedFailure("IMMDeviceEnumerator::GetDefaultAudioEndpoint"); FAILED(hr)) {
      return hr;
    }
    if ((flow != eRender && flow != eCapture) || role < eConsole || role >= ERole_enum_count) {
      return E_INVALIDARG;
    }
    const bool render = flow == eRender;
    const std::optional<AudioEndpoint> found = Endpoint(render);
    if (!found) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    *endpoint = NewDevice(render, *found);
    return S_OK;
  }

  HRESULT GetDevice(LPCWSTR id, IMMDevice** device) override {
    if (id == nullptr || device == nullptr) return E_POINTER;
    *device = nullptr;
    for (bool render : {true, false}) {
      const std::optional<AudioEndpoint> e = Endpoint(render);
      if (e && e->id == id) {
        *device = NewDevice(render, *e);
        return S_OK;
      }
    }
    return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
  }

  HRESULT RegisterEndpointNotificationCallback(IMMNotificationClient*) override {
    return E_NOTIMPL;
  }
  HRESULT UnregisterEndpointNotificationCallback(IMMNotificationClient*) override {
    return E_NOTIMPL;
  }
};

}  // namespace

IMMDevice* NewDevice(bool render, const AudioEndpoint& endpoint) {
  return new AudioDevice(render, endpoint);
}

IMMDeviceEnumerator* NewDeviceEnumerator() { return new DeviceEnumerator(); }

}  // namespace audio
}  // namespace winsim
