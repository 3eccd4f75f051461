// Computer audio: loopback capture of the default playback device, with the
// default microphone opened alongside for mixing, and the 48 kHz stereo AAC
// track they feed.
#pragma once

namespace morl::recorder {

struct RecordingSession;

// Runs on the thread that starts the recording, after the video stream is
// declared and before writing begins. Never fails the recording: on return
// `audioEnabled` says whether the AAC stream exists, and the reason for each
// source that could not be opened is in `systemAudioError` or `micError`.
void SetUpComputerAudio(RecordingSession& session);

}  // namespace morl::recorder
