// The few audio settings of the simulated machine that the recorder tests
// use, in their terms. Endpoint keys: "render" (playback, captured through
// loopback), "capture" (microphone through WASAPI) and "microphone" (the
// Media Foundation device source of the same microphone).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace audio_machine {

void RemoveEndpoint(const std::string& key);
// Mix format of a WASAPI endpoint ("render" or "capture"); an extensible
// one is float at 32 bits, with the speaker layout of its channel count.
void SetMixFormat(const std::string& key, WORD tag, WORD bits, DWORD rate, WORD channels);
// A friendly name, no name at all, or a name property that is not a string.
void SetFriendlyName(const std::string& key, const std::wstring& name);
void RemoveFriendlyName(const std::string& key);
void SetNonStringFriendlyName(const std::string& key);
// A sine of `frequency` Hz at `amplitude` (full scale 1.0) on the endpoint.
void PlayTone(const std::string& key, double frequency, double amplitude);
// The tone sounds only on the channels whose bits are set (bit 0: the
// first channel).
void SoundOnChannels(const std::string& key, std::uint32_t channels);
// The format the microphone's device source delivers.
void SetMicrophoneFormat(DWORD rate, WORD channels);

}  // namespace audio_machine
