#include "recorder/audio/audio_devices.h"

#include <mmdeviceapi.h>

#include "recorder/audio/endpoint_lookup.h"
#include "win32_support/com_ref.h"

namespace morl::recorder {

namespace {

// The default endpoint's id, empty when the machine has none of that kind.
HRESULT DefaultId(IMMDeviceEnumerator* enumerator, EDataFlow direction, std::wstring& id) {
  ComRef<IMMDevice> device;
  const HRESULT hr = enumerator->GetDefaultAudioEndpoint(direction, eConsole, device.Put());
  if (hr == kElementNotFound) return S_OK;
  if (FAILED(hr)) return hr;
  return EndpointId(device.Get(), id);
}

HRESULT ListDirection(IMMDeviceEnumerator* enumerator, EDataFlow direction,
                      const wchar_t* fallbackName, std::vector<AudioDevice>& out) {
  std::wstring default_id;
  HRESULT hr = DefaultId(enumerator, direction, default_id);
  if (FAILED(hr)) return hr;
  return ForEachActiveEndpoint(enumerator, direction,
                               [&](IMMDevice* device, const std::wstring& id) {
                                 out.push_back(AudioDevice{id, EndpointName(device, fallbackName),
                                                           !default_id.empty() && id == default_id});
                                 return true;
                               });
}

}  // namespace

HRESULT ListAudioDevices(std::vector<AudioDevice>& microphones,
                         std::vector<AudioDevice>& speakers) {
  microphones.clear();
  speakers.clear();
  ComRef<IMMDeviceEnumerator> enumerator;
  HRESULT hr = CreateDeviceEnumerator(enumerator);
  if (SUCCEEDED(hr))
    hr = ListDirection(enumerator.Get(), eCapture, kMicrophoneFallbackName, microphones);
  if (SUCCEEDED(hr)) hr = ListDirection(enumerator.Get(), eRender, kSpeakersFallbackName, speakers);
  if (FAILED(hr)) {
    microphones.clear();
    speakers.clear();
  }
  return hr;
}

}  // namespace morl::recorder
