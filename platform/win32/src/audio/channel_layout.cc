#include "audio/channel_layout.h"

#include <algorithm>
#include <cmath>

#include "mmreg.h"

namespace winsim {
namespace audio {
namespace {

constexpr double kMinus3dB = 0.7071067811865476;

// The speaker of each channel in stream order (mask bits from the lowest
// up), 0 for channels beyond the mask's bits.
std::vector<DWORD> SpeakersOf(std::uint32_t channels, DWORD mask) {
  std::vector<DWORD> speakers(channels, 0);
  std::uint32_t next = 0;
  for (DWORD bit = 1; bit != 0 && next < channels; bit <<= 1) {
    if ((mask & bit) != 0) speakers[next++] = bit;
  }
  return speakers;
}

// Where a speaker the output lacks is heard instead, with its weight; the
// first alternative the output has wins.
struct Fold {
  DWORD to;
  double weight;
};

std::vector<std::vector<Fold>> FoldsOf(DWORD speaker) {
  const double w = kMinus3dB;
  switch (speaker) {
    case SPEAKER_FRONT_CENTER:
      return {{{SPEAKER_FRONT_LEFT, w}, {SPEAKER_FRONT_RIGHT, w}}};
    case SPEAKER_FRONT_LEFT:
    case SPEAKER_FRONT_RIGHT:
      return {{{SPEAKER_FRONT_CENTER, 0.5}}};
    case SPEAKER_FRONT_LEFT_OF_CENTER:
      return {{{SPEAKER_FRONT_LEFT, 1.0}}, {{SPEAKER_FRONT_CENTER, w}}};
    case SPEAKER_FRONT_RIGHT_OF_CENTER:
      return {{{SPEAKER_FRONT_RIGHT, 1.0}}, {{SPEAKER_FRONT_CENTER, w}}};
    case SPEAKER_SIDE_LEFT:
      return {{{SPEAKER_BACK_LEFT, 1.0}}, {{SPEAKER_FRONT_LEFT, w}}, {{SPEAKER_FRONT_CENTER, 0.5}}};
    case SPEAKER_SIDE_RIGHT:
      return {{{SPEAKER_BACK_RIGHT, 1.0}}, {{SPEAKER_FRONT_RIGHT, w}}, {{SPEAKER_FRONT_CENTER, 0.5}}};
    case SPEAKER_BACK_LEFT:
      return {{{SPEAKER_SIDE_LEFT, 1.0}}, {{SPEAKER_FRONT_LEFT, w}}, {{SPEAKER_FRONT_CENTER, 0.5}}};
    case SPEAKER_BACK_RIGHT:
      return {{{SPEAKER_SIDE_RIGHT, 1.0}}, {{SPEAKER_FRONT_RIGHT, w}}, {{SPEAKER_FRONT_CENTER, 0.5}}};
    case SPEAKER_BACK_CENTER:
      return {{{SPEAKER_BACK_LEFT, w}, {SPEAKER_BACK_RIGHT, w}},
              {{SPEAKER_SIDE_LEFT, w}, {SPEAKER_SIDE_RIGHT, w}},
              {{SPEAKER_FRONT_LEFT, 0.5}, {SPEAKER_FRONT_RIGHT, 0.5}},
              {{SPEAKER_FRONT_CENTER, 0.5}}};
    default:  // the low-frequency channel and the height speakers are left out
      return {};
  }
}

}  // namespace

DWORD DefaultChannelMask(std::uint32_t channels) {
  constexpr DWORD kFront = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
  constexpr DWORD kSides = SPEAKER_SIDE_LEFT | SPEAKER_SIDE_RIGHT;
  constexpr DWORD kBacks = SPEAKER_BACK_LEFT | SPEAKER_BACK_RIGHT;
  switch (channels) {
    case 1:
      return SPEAKER_FRONT_CENTER;
    case 2:
      return kFront;
    case 3:  // 2.1
      return kFront | SPEAKER_LOW_FREQUENCY;
    case 4:  // quadraphonic
      return kFront | kBacks;
    case 5:  // 5.0
      return kFront | SPEAKER_FRONT_CENTER | kSides;
    case 6:  // 5.1 surround
      return kFront | SPEAKER_FRONT_CENTER | SPEAKER_LOW_FREQUENCY | kSides;
    case 7:  // 6.1
      return kFront | SPEAKER_FRONT_CENTER | SPEAKER_LOW_FREQUENCY | SPEAKER_BACK_CENTER | kSides;
    case 8:  // 7.1 surround
      return kFront | SPEAKER_FRONT_CENTER | SPEAKER_LOW_FREQUENCY | kBacks | kSides;
    default:
      return 0;
  }
}

std::vector<double> ChannelMatrix(std::uint32_t in_channels, DWORD in_mask,
                                  std::uint32_t out_channels, DWORD out_mask) {
  std::vector<double> matrix(static_cast<std::size_t>(in_channels) * out_channels, 0.0);
  const std::vector<DWORD> in = SpeakersOf(in_channels, in_mask);
  const std::vector<DWORD> out = SpeakersOf(out_channels, out_mask);
  const auto output_of = [&out](DWORD speaker) -> int {
    for (std::size_t o = 0; o < out.size(); ++o) {
      if (out[o] == speaker) return static_cast<int>(o);
    }
    return -1;
  };
  const auto add = [&](int o, std::uint32_t i, double weight) {
    matrix[static_cast<std::size_t>(o) * in_channels + i] += weight;
  };
  const bool mono_in = in_channels == 1;
  for (std::uint32_t i = 0; i < in_channels; ++i) {
    if (mono_in) {
      // A single channel is the whole sound: every front speaker plays it.
      bool placed = false;
      for (DWORD front : {SPEAKER_FRONT_LEFT, SPEAKER_FRONT_RIGHT, SPEAKER_FRONT_CENTER}) {
        if (const int o = output_of(front); o >= 0) {
          add(o, i, 1.0);
          placed = true;
        }
      }
      if (!placed && out_channels > 0) add(0, i, 1.0);
      continue;
    }
    if (in[i] == 0) {
      if (i < out_channels && out[i] == 0) add(static_cast<int>(i), i, 1.0);
      continue;
    }
    if (const int o = output_of(in[i]); o >= 0) {
      add(o, i, 1.0);
      continue;
    }
    for (const std::vector<Fold>& alternative : FoldsOf(in[i])) {
      bool all_there = true;
      for (const Fold& fold : alternative) all_there = all_there && output_of(fold.to) >= 0;
      if (!all_there) continue;
      for (const Fold& fold : alternative) add(output_of(fold.to), i, fold.weight);
      break;
    }
  }
  double largest = 0;
  for (std::uint32_t o = 0; o < out_channels; ++o) {
    double sum = 0;
    for (std::uint32_t i = 0; i < in_channels; ++i) sum += matrix[o * in_channels + i];
    largest = std::max(largest, sum);
  }
  if (largest > 1.0) {
    for (double& weight : matrix) weight /= largest;
  }
  return matrix;
}

std::vector<double> ChannelLevels(std::uint32_t in_channels, DWORD in_mask, std::uint32_t sounding,
                                  std::uint32_t out_channels, DWORD out_mask) {
  const std::vector<double> matrix = ChannelMatrix(in_channels, in_mask, out_channels, out_mask);
  std::vector<double> levels(out_channels, 0.0);
  for (std::uint32_t o = 0; o < out_channels; ++o) {
    for (std::uint32_t i = 0; i < in_channels && i < 32; ++i) {
      if ((sounding >> i) & 1U) levels[o] += matrix[o * in_channels + i];
    }
  }
  return levels;
}

}  // namespace audio
}  // namespace winsim
