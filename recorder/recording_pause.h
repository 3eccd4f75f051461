// Pausing and resuming a recording, and its status while it runs. All three
// run on the platform thread, like the start and the stop, so none of them
// races with those; the workers follow the session's clock.
//
// PauseRecording stops capture: the video worker takes no frame and the audio
// captured from now on is dropped, not queued. ResumeRecording continues the
// recording right after what preceded the pause, on the same time line: the
// file has no gap and its duration counts recorded time only. A paused
// recording stops and finalises like any other. Refusals: "not_recording"
// (both, when idle), "already_paused", "not_paused".
//
// RecordingStatus reads only atomics, the clock and the size of the file
// being written; it never waits for the writer or a worker. Its map:
// "recording", "paused" (bools), "elapsedMs" (recorded time), "frames"
// (frames written), "bytes" (the file's size so far, 0 when it cannot be
// read) as int64, and "micLevel" / "systemAudioLevel" (the source's peak
// sample over the last 100 ms, 0.0 to 1.0; 0.0 while paused) only while that
// source is recorded. When idle: false, false, zeros and no levels.
#pragma once

#include <windows.h>

#include <string>

#include "messaging/encodable_value.h"

namespace morl::recorder {

struct RecordingSession;

HRESULT PauseRecording(RecordingSession& session, std::string& code);
HRESULT ResumeRecording(RecordingSession& session, std::string& code);
flutter::ValueMap RecordingStatus(const RecordingSession& session);

}  // namespace morl::recorder
