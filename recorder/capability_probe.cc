#include "recorder/capability_probe.h"

#include <windows.h>

#include "recorder/audio/endpoint_lookup.h"
#include "win32_support/hresult_text.h"

namespace morl::recorder {

Capabilities ProbeCapabilities() {
  Capabilities capabilities;
  capabilities.screen_width = GetSystemMetrics(SM_CXSCREEN);
  capabilities.screen_height = GetSystemMetrics(SM_CYSCREEN);
  const Result<FoundEndpoint> mic = FindDefaultMicrophone();
  if (mic) {
    capabilities.mic_name = mic->name;
  } else if (mic.hr() != kElementNotFound) {
    capabilities.mic_error = "mic lookup " + HresultText(mic.hr());
  }
  const Result<FoundEndpoint> speakers = FindDefaultSpeakers();
  if (speakers) {
    capabilities.system_audio_name = speakers->name;
  } else if (speakers.hr() != kElementNotFound) {
    capabilities.system_audio_error = "render lookup " + HresultText(speakers.hr());
  }
  return capabilities;
}

}  // namespace morl::recorder
