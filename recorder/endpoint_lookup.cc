#include "recorder/endpoint_lookup.h"

#include <functiondiscoverykeys_devpkey.h>
#include <propidl.h>

#include "recorder/com_ref.h"

namespace {

constexpr HRESULT kElementNotFound = static_cast<HRESULT>(0x80070490u);

// The friendly name is cosmetic: any failure to read it leaves `name` empty.
void ReadFriendlyName(IMMDevice* device, std::wstring& name) {
  ComRef<IPropertyStore> store;
  if (FAILED(device->OpenPropertyStore(STGM_READ, store.Put()))) return;
  PROPVARIANT value;
  PropVariantInit(&value);
  if (SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, &value)) && value.vt == VT_LPWSTR &&
      value.pwszVal != nullptr) {
    name = value.pwszVal;
  }
  PropVariantClear(&value);
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
  LPWSTR deviceId = nullptr;
  hr = device->GetId(&deviceId);
  if (FAILED(hr)) return hr;
  std::wstring foundId = deviceId != nullptr ? deviceId : L"";
  CoTaskMemFree(deviceId);
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
