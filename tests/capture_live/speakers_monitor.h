// The recording endpoint that carries what the speakers play: the audio
// server's monitor of the session's speakers sink (tools/wine-session), as
// Wine lists it. It stands in for loopback capture, which Wine refuses, and
// is the second microphone a user can choose.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

#include <cstddef>
#include <optional>
#include <vector>

namespace capture_live {

// Its friendly name.
inline constexpr wchar_t kSpeakersMonitorName[] = L"Monitor of morl_speakers";

// The audio server provides the monitor; the simulated machine has no such
// endpoint, so for the life of this object it gets one: an active recording
// endpoint, not the default, sounding `hz` at `level` (what the case plays on
// the speakers). Under Wine this does nothing.
class SpeakersMonitorEndpoint {
 public:
  SpeakersMonitorEndpoint(double hz, double level);
  SpeakersMonitorEndpoint(const SpeakersMonitorEndpoint&) = delete;
  SpeakersMonitorEndpoint& operator=(const SpeakersMonitorEndpoint&) = delete;
  ~SpeakersMonitorEndpoint();  // the machine's endpoints as they were

 private:
  bool added_ = false;
  std::size_t default_index_ = 0;
};

// A reference owned by the caller, or null when there is no such endpoint
// (always on the simulated machine, which captures loopback itself).
IMMDevice* FindSpeakersMonitor();

}  // namespace capture_live
