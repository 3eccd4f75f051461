#include "recorder/endpoint_lookup.h"

#include <functiondiscoverykeys_devpkey.h>
#include <propidl.h>

#include "win32_support/com_ref.h"
#include "win32_support/prop_variant.h"
#include "win32_support/task_memory.h"

namespace morl::recorder {

namespace {

constexpr HRESULT kElementNotFound = static_cast<HRESULT>(0x80070490u);

// The friendly name is cosmetic: any failure to read it leaves `name` empty.
void ReadFriendlyName(IMMDevice* device, std::wstring& name) {
  ComRef<IPropertyStore> store;
  if (FAILED(device->OpenPropertyStore(STGM_READ, store.Put()))) return;
  PropVariant value;
  if (SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, value.Put())) &&
      value.Get().vt == VT_LPWSTR && value.Get().pwszVal != nullptr) {
    name = value.Get().pwszVal;
  }
}

}  // namespace

HRESULT EndpointLookup(EDataFlow direction, const wchar_t* fallbackName, std::wstring& id,
                       std::wstring& name, bool& noEndpoint) {
  noEndpoint = false;
  ComRef<IMMDeviceEnumerator> enumerator;
  HRESULT hr =
      CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                       reinterpret_cast<void**>(enumerator.Put()));
  if (FAILED(hr)) return hr;
  ComRef<IMMDevice> device;
  hr = enumerator->GetDefaultAudioEndpoint(direction, eConsole, device.Put());
  if (hr == kElementNotFound) noEndpoint = true;
  if (FAILED(hr)) return hr;
  TaskMemory<WCHAR> deviceId;
  hr = device->GetId(deviceId.Put());
  if (FAILED(hr)) return hr;
  std::wstring foundId = deviceId ? deviceId.Get() : L"";
  std::wstring foundName;
  ReadFriendlyName(device.Get(), foundName);
  if (foundName.empty()) foundName = fallbackName;
  id = std::move(foundId);
  name = std::move(foundName);
  return S_OK;
}

HRESULT FindDefaultMicrophone(std::wstring& id, std::wstring& name, bool& noEndpoint) {
  return EndpointLookup(eCapture, L"Default microphone", id, name, noEndpoint);
}

HRESULT FindDefaultSpeakers(std::wstring& id, std::wstring& name, bool& noEndpoint) {
  return EndpointLookup(eRender, L"Default speakers", id, name, noEndpoint);
}

}  // namespace morl::recorder
