#include "speakers_monitor.h"

// Listing endpoints is only needed, and only done, where loopback is refused.
#ifdef _WIN32

#include <functiondiscoverykeys_devpkey.h>
#include <propidl.h>

#include <cwchar>

namespace capture_live {

SpeakersMonitorEndpoint::SpeakersMonitorEndpoint(double, double) {}
SpeakersMonitorEndpoint::~SpeakersMonitorEndpoint() = default;

IMMDevice* FindSpeakersMonitor() {
  const wchar_t* name = kSpeakersMonitorName;
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

#include <winsim_audio.h>

namespace capture_live {

namespace {

constexpr wchar_t kMonitorId[] = L"{0.0.1.00000000}.{speakers-monitor}";

// Where the default endpoint is in `endpoints`.
std::size_t DefaultIndex(const std::vector<winsim::AudioEndpoint>& endpoints) {
  const std::optional<winsim::AudioEndpoint> current = winsim::CaptureEndpoint();
  for (std::size_t i = 0; current && i < endpoints.size(); ++i) {
    if (endpoints[i].id == current->id) return i;
  }
  return 0;
}

}  // namespace

SpeakersMonitorEndpoint::SpeakersMonitorEndpoint(double hz, double level) {
  std::vector<winsim::AudioEndpoint> endpoints = winsim::CaptureEndpoints();
  default_index_ = DefaultIndex(endpoints);
  winsim::AudioEndpoint monitor;
  monitor.id = kMonitorId;
  monitor.name = kSpeakersMonitorName;
  monitor.signal.tone_hz = hz;
  monitor.signal.level = level;
  endpoints.push_back(monitor);
  winsim::SetCaptureEndpoints(endpoints, default_index_);
  added_ = true;
}

SpeakersMonitorEndpoint::~SpeakersMonitorEndpoint() {
  if (!added_) return;
  std::vector<winsim::AudioEndpoint> endpoints = winsim::CaptureEndpoints();
  if (!endpoints.empty() && endpoints.back().id == kMonitorId) endpoints.pop_back();
  winsim::SetCaptureEndpoints(endpoints, default_index_);
}

IMMDevice* FindSpeakersMonitor() { return nullptr; }

}  // namespace capture_live

#endif
