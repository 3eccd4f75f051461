// Speaker layouts of the simulated audio devices: the channel mask Windows
// gives a channel count, and how the audio engine and the source reader's
// resampler fold one layout into another.
#pragma once

#include <cstdint>
#include <vector>

#include "win32sim/base.h"

namespace winsim {
namespace audio {

// The mask Windows lays a channel count out with: mono is the front centre,
// 5.1 and 7.1 are the home-theatre layouts of the speaker control panel
// (side speakers for 5.1, back and side for 7.1). Counts without a
// standard layout have no speaker positions (0), as array microphones do.
DWORD DefaultChannelMask(std::uint32_t channels);

// The matrix that turns a stream of `in_channels` laid out by `in_mask`
// into one of `out_channels` laid out by `out_mask`, row by output channel:
// out[o] = sum over i of matrix[o * in_channels + i] * in[i].
// A speaker both layouts have is copied; one the output lacks is folded in
// at its usual weight (centre into left and right at -3 dB, a surround into
// its side at -3 dB, the low-frequency channel left out); a mono stream
// feeds every front speaker whole. Channels without a speaker position go
// to the output channel of the same index, if any. Rows are scaled down
// together when one would add up above 1, so a full-scale mix cannot clip.
std::vector<double> ChannelMatrix(std::uint32_t in_channels, DWORD in_mask,
                                  std::uint32_t out_channels, DWORD out_mask);

// The level each output channel carries when a signal of level 1 sounds on
// the input channels whose bits are set in `sounding`.
std::vector<double> ChannelLevels(std::uint32_t in_channels, DWORD in_mask, std::uint32_t sounding,
                                  std::uint32_t out_channels, DWORD out_mask);

}  // namespace audio
}  // namespace winsim
