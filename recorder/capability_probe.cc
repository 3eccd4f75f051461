#include "recorder/capability_probe.h"

#include <windows.h>

#include "recorder/audio/endpoint_lookup.h"
#include "win32_support/hresult_text.h"

namespace morl::recorder {

Capabilities ProbeCapabilities() {
  Capabilities capabilities;
  capabilities.screenWidth = GetSystemMetrics(SM_CXSCREEN);
  capabilities.screenHeight = GetSystemMetrics(SM_CYSCREEN);
  const Result<FoundEndpoint> mic = FindDefaultMicrophone();
  if (mic) {
    capabilities.micName = mic->name;
  } else if (mic.hr() != kElementNotFound) {
    capabilities.micError = "mic lookup " + HresultText(mic.hr());
  }
  const Result<FoundEndpoint> speakers = FindDefaultSpeakers();
  if (speakers) {
    capabilities.systemAudioName = speakers->name;
  } else if (speakers.hr() != kElementNotFound) {
    capabilities.systemAudioError = "render lookup " + HresultText(speakers.hr());
  }
  return capabilities;
}

}  // namespace morl::recorder
