// The default microphone and playback device: endpoint id and display name.
// Both run in the caller's COM apartment. The strings are filled only on
// success; `noEndpoint` is true only when the machine has no such endpoint
// (the result is then 0x80070490). A device without a readable name is
// reported as "Default microphone" / "Default speakers".
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

#include <string>

namespace morl::recorder {

HRESULT EndpointLookup(EDataFlow direction, const wchar_t* fallbackName, std::wstring& id,
                       std::wstring& name, bool& noEndpoint);
HRESULT FindDefaultMicrophone(std::wstring& id, std::wstring& name, bool& noEndpoint);
HRESULT FindDefaultSpeakers(std::wstring& id, std::wstring& name, bool& noEndpoint);

}  // namespace morl::recorder
