#include <utility>
#include <vector>

#include "audio/audio_state.h"

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
    *state = endpoint_.state;
    return S_OK;
  }

 private:
  bool render_;
  AudioEndpoint endpoint_;
};

// The endpoints an enumeration found, as they were then: a device plugged
// in or removed later does not change a collection already handed out.
class DeviceCollection final : public ComObject<IMMDeviceCollection> {
 public:
  using Entry = std::pair<bool, AudioEndpoint>;  // render?, endpoint
  explicit DeviceCollection(std::vector<Entry> entries)
      : ComObject("IMMDeviceCollection"), entries_(std::move(entries)) {}

  HRESULT GetCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = static_cast<UINT>(entries_.size());
    return S_OK;
  }

  HRESULT Item(UINT index, IMMDevice** device) override {
    if (device == nullptr) return E_POINTER;
    *device = nullptr;
    if (index >= entries_.size()) return E_INVALIDARG;
    *device = NewDevice(entries_[index].first, entries_[index].second);
    return S_OK;
  }

 private:
  const std::vector<Entry> entries_;
};

class DeviceEnumerator final : public ComObject<IMMDeviceEnumerator> {
 public:
  DeviceEnumerator() : ComObject("IMMDeviceEnumerator") {}

  HRESULT EnumAudioEndpoints(EDataFlow flow, DWORD state_mask,
                             IMMDeviceCollection** devices) override {
    if (devices == nullptr) return E_POINTER;
    *devices = nullptr;
    if (HRESULT hr = InjectedFailure("IMMDeviceEnumerator::EnumAudioEndpoints"); FAILED(hr)) {
      return hr;
    }
    if (flow < eRender || flow > eAll || (state_mask & ~DWORD{DEVICE_STATEMASK_ALL}) != 0) {
      return E_INVALIDARG;
    }
    std::vector<DeviceCollection::Entry> entries;
    for (bool render : {true, false}) {
      if (flow != eAll && render != (flow == eRender)) continue;
      for (AudioEndpoint& e : Endpoints(render)) {
        if ((e.state & state_mask) != 0) entries.emplace_back(render, std::move(e));
      }
    }
    *devices = new DeviceCollection(std::move(entries));
    return S_OK;
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
    if (HRESULT hr = InjectedFailure("IMMDeviceEnumerator::GetDevice"); FAILED(hr)) return hr;
    bool render = false;
    const std::optional<AudioEndpoint> e = EndpointById(id, &render);
    if (!e) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    *device = NewDevice(render, *e);
    return S_OK;
  }

  HRESULT RegisterEndpointNotificationCallback(IMMNotificationClient* client) override {
    if (client == nullptr) return E_POINTER;
    if (HRESULT hr = InjectedFailure("IMMDeviceEnumerator::RegisterEndpointNotificationCallback");
        FAILED(hr)) {
      return hr;
    }
    return RegisterNotificationClient(client);
  }
  HRESULT UnregisterEndpointNotificationCallback(IMMNotificationClient* client) override {
    if (client == nullptr) return E_POINTER;
    return UnregisterNotificationClient(client);
  }
};

}  // namespace

IMMDevice* NewDevice(bool render, const AudioEndpoint& endpoint) {
  return new AudioDevice(render, endpoint);
}

IMMDeviceEnumerator* NewDeviceEnumerator() { return new DeviceEnumerator(); }

}  // namespace audio
}  // namespace winsim
