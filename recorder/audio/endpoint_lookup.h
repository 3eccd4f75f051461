// Audio endpoints as the recorder finds them: the default microphone and
// playback device (endpoint id and display name), an endpoint the user chose
// by its id, and the display name of any endpoint. All run in the caller's
// COM apartment.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

#include <functional>
#include <string>

#include "recorder/recorder_error.h"
#include "win32_support/com_ref.h"

namespace morl::recorder {

// What a lookup gives for an endpoint that is not there (element not found).
inline constexpr HRESULT kElementNotFound = static_cast<HRESULT>(0x80070490u);

// Names for endpoints without a readable friendly name.
inline constexpr wchar_t kMicrophoneFallbackName[] = L"Default microphone";
inline constexpr wchar_t kSpeakersFallbackName[] = L"Default speakers";

// A default endpoint: its id and display name.
struct FoundEndpoint {
  std::wstring id;
  std::wstring name;
};

// The default endpoint of `direction`. When the machine has none, the
// error's hr is kElementNotFound. A device without a readable name is
// reported under its fallback name.
Result<FoundEndpoint> EndpointLookup(EDataFlow direction, const wchar_t* fallback_name);
Result<FoundEndpoint> FindDefaultMicrophone();
Result<FoundEndpoint> FindDefaultSpeakers();

// The device enumerator of the caller's apartment.
HRESULT CreateDeviceEnumerator(ComRef<IMMDeviceEnumerator>& enumerator);

// The endpoint id of `device`; `id` is set only on success.
HRESULT EndpointId(IMMDevice* device, std::wstring& id);
// The friendly name of `device`, or `fallback_name` when it cannot be read.
std::wstring EndpointName(IMMDevice* device, const wchar_t* fallback_name);

// Calls `visit` with each active endpoint of `direction` and its id, in the
// enumerator's order, until it returns false. Returns the first failure of
// listing the endpoints or reading an id; the visits before it have run.
HRESULT ForEachActiveEndpoint(IMMDeviceEnumerator* enumerator, EDataFlow direction,
                              const std::function<bool(IMMDevice*, const std::wstring&)>& visit);

// The active endpoint of `direction` whose id is `id`. An id of the other
// direction, of a disabled or unplugged device, or of none at all fails
// with 0x80070490 (element not found), like an absent default endpoint.
HRESULT FindActiveEndpoint(IMMDeviceEnumerator* enumerator, EDataFlow direction,
                           const std::wstring& id, IMMDevice** device);

// Whether `id` is an active microphone, with an enumerator of its own.
HRESULT FindChosenMicrophone(const std::wstring& id);

// The text a chosen endpoint's failed lookup gives: `context` ("mic lookup"
// or "render lookup"), one blank and the HRESULT text, and for an endpoint
// that is not there a hint naming `what` ("microphone", "playback device").
std::string ChosenEndpointError(const char* context, HRESULT hr, const char* what);

}  // namespace morl::recorder
