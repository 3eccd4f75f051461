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
  std::int32_t screenWidth = 0;  // as GetSystemMetrics reports the primary
  std::int32_t screenHeight = 0;
  // The default microphone's and playback device's names when there is one;
  // the error (UTF-8) when looking one up failed otherwise than by absence.
  std::optional<std::wstring> micName;
  std::optional<std::string> micError;
  std::optional<std::wstring> systemAudioName;
  std::optional<std::string> systemAudioError;
};

Capabilities ProbeCapabilities();

}  // namespace morl::recorder
