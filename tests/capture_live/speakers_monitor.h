// The recording endpoint that carries what the speakers play: the audio
// server's monitor of the session's speakers sink (tools/wine-session), as
// Wine lists it. It stands in for loopback capture, which Wine refuses.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

namespace capture_live {

// A reference owned by the caller, or null when there is no such endpoint
// (always on the simulated machine, which captures loopback itself).
IMMDevice* FindSpeakersMonitor();

}  // namespace capture_live
