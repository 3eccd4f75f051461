// How the channels of a captured stream fold into the stereo a recording
// keeps: by the speaker each channel feeds, at the usual downmix weights.
#pragma once

#include <windows.h>
#include <mmreg.h>

#include <cstdint>
#include <vector>

namespace morl::recorder {

struct StereoWeights {
  float left = 0.0f;
  float right = 0.0f;
};

// The speakers a format's channels feed: an extensible format's own mask,
// else the front centre for mono and the front pair for stereo.
DWORD SpeakerMaskOf(const WAVEFORMATEX& format);

// One pair of weights per channel of a stream of `channels` laid out by
// `speaker_mask`. Front left and right keep their side; the centre goes into
// both sides at -3 dB, as do the surrounds into their own side; the
// low-frequency channel is left out (its content is in the main channels of
// any downmixable mix). Channels without a speaker position play as the
// first two channels do, or a lone one on both sides. The weights are scaled
// together so a full-scale signal on every channel cannot clip.
std::vector<StereoWeights> StereoDownmix(std::uint32_t channels, DWORD speaker_mask);

}  // namespace morl::recorder
