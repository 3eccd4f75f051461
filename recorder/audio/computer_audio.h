// Computer audio: loopback capture of a playback device, with a microphone
// opened alongside for mixing, and the 48 kHz stereo AAC track they feed.
// Both are the default ones unless the user chose others.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

#include <string>

namespace morl::recorder {

struct RecordingSession;

// Endpoint ids; empty means the default device of that kind. A chosen
// device that cannot be found is reported like any other that cannot be
// opened: no computer audio at all for the speakers, computer audio alone
// for the microphone.
struct ComputerAudioDevices {
  std::wstring speakers_id;
  std::wstring microphone_id;
};

// Why a source of the recording's audio could not be opened (UTF-8, empty
// when nothing is wrong).
struct AudioSetUpTexts {
  std::string mic_error;
  std::string system_audio_error;
};

// Runs on the thread that starts the recording, after the video stream is
// declared and before writing begins. Never fails the recording: on return
// `audio_enabled` says whether the AAC stream exists, and the result gives the
// reason for each source that could not be opened.
AudioSetUpTexts SetUpComputerAudio(RecordingSession& session,
                                   const ComputerAudioDevices& devices = {});

// Opens the microphone mixed into computer audio as `mic_capture`: the one
// with `microphoneId`, or the default one when it is empty. The microphone is
// optional: without one, computer audio is recorded alone and nothing is
// said. A microphone the user chose is expected, so when it cannot be found
// or opened the result says why; it is empty otherwise.
std::string OpenMixedMicrophone(RecordingSession& session, IMMDeviceEnumerator* enumerator,
                                const std::wstring& microphone_id);

}  // namespace morl::recorder
