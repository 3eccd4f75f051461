#include "mf/device_source.h"

#include <optional>
#include <string>

#include "audio/audio_state.h"
#include "mferror.h"

namespace winsim {
namespace audio {

namespace {
constexpr DWORD kIsLive = 0x1;  // MFMEDIASOURCE_IS_LIVE
}

HRESULT MicrophoneMediaSource::GetCharacteristics(DWORD* characteristics) {
  if (characteristics == nullptr) return E_POINTER;
  if (shut_down_) return MF_E_SHUTDOWN;
  *characteristics = kIsLive;
  return S_OK;
}

HRESULT MicrophoneMediaSource::Stop() { return shut_down_ ? MF_E_SHUTDOWN : S_OK; }
HRESULT MicrophoneMediaSource::Pause() { return shut_down_ ? MF_E_SHUTDOWN : S_OK; }

HRESULT MicrophoneMediaSource::Shutdown() {
  if (HRESULT hr = InjectedFailure("IMFMediaSource::Shutdown"); FAILED(hr)) return hr;
  return shut_down_.exchange(true) ? MF_E_SHUTDOWN : S_OK;
}

}  // namespace audio
}  // namespace winsim

HRESULT MFCreateDeviceSource(IMFAttributes* pAttributes, IMFMediaSource** ppSource) {
  if (ppSource == nullptr) return E_POINTER;
  *ppSource = nullptr;
  if (HRESULT hr = winsim::InjectedFailure("MFCreateDeviceSource"); FAILED(hr)) return hr;
  if (pAttributes == nullptr) return E_POINTER;
  GUID type{};
  if (FAILED(pAttributes->GetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, &type)) ||
      type != MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID) {
    return E_INVALIDARG;  // only the audio capture device is simulated
  }
  winsim::MicrophoneSource settings = winsim::GetMicrophoneSource();
  // The privacy setting is checked before the device is looked at.
  if (settings.refused) return E_ACCESSDENIED;
  std::optional<winsim::AudioEndpoint> endpoint = winsim::audio::Endpoint(false);
  if (!endpoint) return MF_E_NO_CAPTURE_DEVICES_AVAILABLE;
  UINT32 length = 0;
  if (SUCCEEDED(pAttributes->GetStringLength(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID,
                                             &length))) {
    std::wstring id(length + 1, L'\0');
    if (FAILED(pAttributes->GetString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID,
                                      id.data(), length + 1, &length))) {
      return E_INVALIDARG;
    }
    id.resize(length);
    // Only an active recording device can be opened; a playback endpoint's
    // id, or a disabled or unplugged one's, is as unknown here as one that
    // never existed.
    bool render = false;
    endpoint = winsim::audio::EndpointById(id, &render);
    if (!endpoint || render || endpoint->state != DEVICE_STATE_ACTIVE) {
      return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    // The machine's microphone source settings describe the default
    // microphone's sound; any other one sounds its own endpoint signal.
    if (!winsim::audio::IsDefault(false, id)) {
      settings.tone_hz = endpoint->signal.tone_hz;
      settings.level = endpoint->signal.level;
    }
  }
  *ppSource = new winsim::audio::MicrophoneMediaSource(settings, *endpoint);
  return S_OK;
}
