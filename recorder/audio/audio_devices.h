// The machine's active microphones and playback devices, for the user to
// choose from: each with its endpoint id (what "start" takes as
// "microphoneId" or "speakersId"), its display name, and whether it is the
// default one of its kind.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace morl::recorder {

struct AudioDevice {
  std::wstring id;
  std::wstring name;  // the friendly name, or the fallback name of its kind
  bool is_default = false;
};

// Runs in the caller's COM apartment. On failure the lists are left empty
// and the result is the first failing call's HRESULT; a machine without
// endpoints of a kind is not a failure.
HRESULT ListAudioDevices(std::vector<AudioDevice>& microphones, std::vector<AudioDevice>& speakers);

}  // namespace morl::recorder
