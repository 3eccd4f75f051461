#include "recorder/capability_probe.h"

#include <windows.h>

#include <string>

#include "recorder/audio/endpoint_lookup.h"
#include "win32_support/hresult_text.h"
#include "win32_support/utf_conversion.h"

namespace morl::recorder {

using flutter::EncodableValue;

flutter::ValueMap ProbeCapabilities() {
  flutter::ValueMap map;
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  map[EncodableValue("screenAvailable")] = EncodableValue(width > 0 && height > 0);
  map[EncodableValue("screenWidth")] = EncodableValue(static_cast<std::int32_t>(width));
  map[EncodableValue("screenHeight")] = EncodableValue(static_cast<std::int32_t>(height));

  std::wstring id, name;
  bool noEndpoint = false;
  HRESULT hr = FindDefaultMicrophone(id, name, noEndpoint);
  if (SUCCEEDED(hr)) {
    map[EncodableValue("micName")] = EncodableValue(WideToUtf8(name));
  } else if (!noEndpoint) {
    map[EncodableValue("micError")] = EncodableValue("mic lookup " + HresultText(hr));
  }

  id.clear();
  name.clear();
  hr = FindDefaultSpeakers(id, name, noEndpoint);
  map[EncodableValue("systemAudioAvailable")] = EncodableValue(SUCCEEDED(hr));
  if (SUCCEEDED(hr)) {
    map[EncodableValue("systemAudioName")] = EncodableValue(WideToUtf8(name));
  } else if (!noEndpoint) {
    map[EncodableValue("systemAudioError")] = EncodableValue("render lookup " + HresultText(hr));
  }
  return map;
}

}  // namespace morl::recorder
