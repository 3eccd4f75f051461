// Computer audio: loopback capture of a playback device, with a microphone
// opened alongside for mixing, and the 48 kHz stereo AAC track they feed.
// Both are the default ones unless the user chose others.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

#include <string>

#include "recorder/audio/audio_track.h"
#include "recorder/audio/mix_source.h"
#include "recorder/sample_writer.h"

namespace morl::recorder {

// The two captures of the computer-audio mix. Threads: the start opens them
// before the mixer is launched; then the mixer alone drains and reopens
// them, while the status asks whether each is active.
struct ComputerAudioCaptures {
  MixSource loopback;  // the playback device's
  MixSource mic;       // the microphone mixed in
};

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
// declared and before writing begins: opens `captures` and declares the AAC
// stream on `writer`. Never fails the recording: on return `track.enabled`
// says whether the AAC stream exists, and the result gives the reason for
// each source that could not be opened.
AudioSetUpTexts SetUpComputerAudio(TrackWriter& writer, AudioTrack& track,
                                   ComputerAudioCaptures& captures,
                                   const ComputerAudioDevices& devices = {});

// Opens the microphone mixed into computer audio as `mic`: the one
// with `microphoneId`, or the default one when it is empty. The microphone is
// optional: without one, computer audio is recorded alone and nothing is
// said. A microphone the user chose is expected, so when it cannot be found
// or opened the result says why; it is empty otherwise.
std::string OpenMixedMicrophone(MixSource& mic, IMMDeviceEnumerator* enumerator,
                                const std::wstring& microphone_id);

}  // namespace morl::recorder
