// What this machine can record, for the "probe" method: the primary
// display's size as reported, the default microphone's name and whether
// computer audio is available. Never fails (problems are reported in the
// result); reads no recording state, so it may run while a recording runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace morl::recorder {

struct Capabilities {
  std::int32_t screen_width = 0;  // as GetSystemMetrics reports the primary
  std::int32_t screen_height = 0;
  // The default microphone's and playback device's names when there is one;
  // the error (UTF-8) when looking one up failed otherwise than by absence.
  std::optional<std::wstring> mic_name;
  std::optional<std::string> mic_error;
  std::optional<std::wstring> system_audio_name;
  std::optional<std::string> system_audio_error;
};

Capabilities ProbeCapabilities();

}  // namespace morl::recorder
