#include "recorder/audio/endpoint_lookup.h"

#include <functiondiscoverykeys_devpkey.h>
#include <propidl.h>

#include "win32_support/com_ref.h"
#include "win32_support/hresult_text.h"
#include "win32_support/prop_variant.h"
#include "win32_support/task_memory.h"

namespace morl::recorder {

HRESULT EndpointId(IMMDevice* device, std::wstring& id) {
  TaskMemory<WCHAR> text;
  const HRESULT hr = device->GetId(text.Put());
  if (FAILED(hr)) return hr;
  id = text ? text.Get() : L"";
  return S_OK;
}

// The friendly name is cosmetic: any failure to read it gives the fallback.
std::wstring EndpointName(IMMDevice* device, const wchar_t* fallback_name) {
  std::wstring name;
  ComRef<IPropertyStore> store;
  if (SUCCEEDED(device->OpenPropertyStore(STGM_READ, store.Put()))) {
    PropVariant value;
    if (SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, value.Put())) &&
        value.Get().vt == VT_LPWSTR && value.Get().pwszVal != nullptr) {
      name = value.Get().pwszVal;
    }
  }
  if (name.empty()) name = fallback_name;
  return name;
}

HRESULT CreateDeviceEnumerator(ComRef<IMMDeviceEnumerator>& enumerator) {
  return CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                          IID_PPV_ARGS(enumerator.Put()));
}

Result<FoundEndpoint> EndpointLookup(EDataFlow direction, const wchar_t* fallback_name) {
  ComRef<IMMDeviceEnumerator> enumerator;
  MORL_RETURN_IF_FAILED(CreateDeviceEnumerator(enumerator), "", "enumerator");
  ComRef<IMMDevice> device;
  MORL_RETURN_IF_FAILED(enumerator->GetDefaultAudioEndpoint(direction, eConsole, device.Put()), "",
                        "default endpoint");
  FoundEndpoint found;
  MORL_RETURN_IF_FAILED(EndpointId(device.Get(), found.id), "", "endpoint id");
  found.name = EndpointName(device.Get(), fallback_name);
  return found;
}

Result<FoundEndpoint> FindDefaultMicrophone() {
  return EndpointLookup(eCapture, kMicrophoneFallbackName);
}

Result<FoundEndpoint> FindDefaultSpeakers() {
  return EndpointLookup(eRender, kSpeakersFallbackName);
}

HRESULT ForEachActiveEndpoint(IMMDeviceEnumerator* enumerator, EDataFlow direction,
                              const std::function<bool(IMMDevice*, const std::wstring&)>& visit) {
  ComRef<IMMDeviceCollection> collection;
  HRESULT hr = enumerator->EnumAudioEndpoints(direction, DEVICE_STATE_ACTIVE, collection.Put());
  if (FAILED(hr)) return hr;
  UINT count = 0;
  hr = collection->GetCount(&count);
  if (FAILED(hr)) return hr;
  for (UINT i = 0; i < count; ++i) {
    ComRef<IMMDevice> device;
    hr = collection->Item(i, device.Put());
    if (FAILED(hr)) return hr;
    std::wstring id;
    hr = EndpointId(device.Get(), id);
    if (FAILED(hr)) return hr;
    if (!visit(device.Get(), id)) break;
  }
  return S_OK;
}

// Walks the active endpoints of the direction instead of asking GetDevice,
// which also hands out disabled devices and those of the other direction.
HRESULT FindActiveEndpoint(IMMDeviceEnumerator* enumerator, EDataFlow direction,
                           const std::wstring& id, IMMDevice** device) {
  *device = nullptr;
  const HRESULT hr = ForEachActiveEndpoint(
      enumerator, direction, [&](IMMDevice* candidate, const std::wstring& candidate_id) {
        if (candidate_id != id) return true;
        *device = candidate;
        candidate->AddRef();
        return false;
      });
  if (FAILED(hr)) return hr;
  return *device != nullptr ? S_OK : kElementNotFound;
}

HRESULT FindChosenMicrophone(const std::wstring& id) {
  ComRef<IMMDeviceEnumerator> enumerator;
  const HRESULT hr = CreateDeviceEnumerator(enumerator);
  if (FAILED(hr)) return hr;
  ComRef<IMMDevice> device;
  return FindActiveEndpoint(enumerator.Get(), eCapture, id, device.Put());
}

std::string ChosenEndpointError(const char* context, HRESULT hr, const char* what) {
  std::string text = std::string(context) + " " + HresultText(hr);
  if (hr == kElementNotFound) {
    text += std::string(" -- the chosen ") + what + " is not connected or not enabled";
  }
  return text;
}

}  // namespace morl::recorder
