// A recording session with computer audio set up and writing begun, for the
// tests and benchmarks that drive the mixer by hand: COM (multithreaded) and
// Media Foundation started, a sink writer at a scratch path, both captures
// open. The machine's settings (clock, encoding, endpoints) stay the
// caller's.
#pragma once

#include <string>

#include "recorder/recording_session.h"

namespace computer_audio_session {

// Sets up `session` and stamps its start time with the clock. Empty when
// every step succeeded, else the step that failed and what it returned.
std::string Open(morl::recorder::RecordingSession& session, const wchar_t* path);
// Closes what Open set up, the captures and the writer first.
void Close(morl::recorder::RecordingSession& session);

}  // namespace computer_audio_session
