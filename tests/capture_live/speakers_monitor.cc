#include "speakers_monitor.h"

// Listing endpoints is only needed, and only done, where loopback is refused.
#ifdef _WIN32

#include <functiondiscoverykeys_devpkey.h>
#include <propidl.h>

#include <cwchar>

namespace capture_live {

IMMDevice* FindSpeakersMonitor() {
  const wchar_t* name = L"Monitor of morl_speakers";
  IMMDeviceEnumerator* enumerator = nullptr;
  if (FAILED(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                              IID_IMMDeviceEnumerator, reinterpret_cast<void**>(&enumerator)))) {
    return nullptr;
  }
  IMMDeviceCollection* devices = nullptr;
  IMMDevice* found = nullptr;
  UINT count = 0;
  if (SUCCEEDED(enumerator->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, &devices)) &&
      SUCCEEDED(devices->GetCount(&count))) {
    for (UINT i = 0; i < count && found == nullptr; ++i) {
      IMMDevice* device = nullptr;
      if (FAILED(devices->Item(i, &device))) continue;
      IPropertyStore* store = nullptr;
      PROPVARIANT value;
      PropVariantInit(&value);
      if (SUCCEEDED(device->OpenPropertyStore(STGM_READ, &store)) &&
          SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, &value)) && value.vt == VT_LPWSTR &&
          std::wcscmp(value.pwszVal, name) == 0) {
        found = device;
        device = nullptr;
      }
      PropVariantClear(&value);
      if (store != nullptr) store->Release();
      if (device != nullptr) device->Release();
    }
  }
  if (devices != nullptr) devices->Release();
  enumerator->Release();
  return found;
}

}  // namespace capture_live

#else

namespace capture_live {

IMMDevice* FindSpeakersMonitor() { return nullptr; }

}  // namespace capture_live

#endif
