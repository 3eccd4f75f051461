#include "recorder/audio/stereo_downmix.h"

#include <algorithm>

namespace morl::recorder {

namespace {

constexpr float kMinus3dB = 0.70710678f;

StereoWeights WeightsOf(DWORD speaker) {
  switch (speaker) {
    case SPEAKER_FRONT_LEFT:
    case SPEAKER_FRONT_LEFT_OF_CENTER:
      return {1.0f, 0.0f};
    case SPEAKER_FRONT_RIGHT:
    case SPEAKER_FRONT_RIGHT_OF_CENTER:
      return {0.0f, 1.0f};
    case SPEAKER_FRONT_CENTER:
    case SPEAKER_BACK_CENTER:
      return {kMinus3dB, kMinus3dB};
    case SPEAKER_BACK_LEFT:
    case SPEAKER_SIDE_LEFT:
      return {kMinus3dB, 0.0f};
    case SPEAKER_BACK_RIGHT:
    case SPEAKER_SIDE_RIGHT:
      return {0.0f, kMinus3dB};
    default:  // the low-frequency channel and the height speakers
      return {};
  }
}

}  // namespace

DWORD SpeakerMaskOf(const WAVEFORMATEX& format) {
  if (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
      format.cbSize >= sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX)) {
    return reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format).dwChannelMask;
  }
  if (format.nChannels == 1) return SPEAKER_FRONT_CENTER;
  if (format.nChannels == 2) return SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
  return 0;
}

std::vector<StereoWeights> StereoDownmix(std::uint32_t channels, DWORD speaker_mask) {
  std::vector<StereoWeights> weights(channels);
  if (channels == 1) {
    weights[0] = {1.0f, 1.0f};  // a lone channel is the whole sound
    return weights;
  }
  // Speakers go to channels in the order of their bits, lowest first.
  std::uint32_t next = 0;
  for (DWORD bit = 1; bit != 0 && next < channels; bit <<= 1) {
    if ((speaker_mask & bit) != 0) weights[next++] = WeightsOf(bit);
  }
  // Channels past the mask's speakers have no position: the first two keep
  // their side when nothing else feeds it.
  for (std::uint32_t c = next; c < channels && c < 2; ++c) {
    weights[c] = c == 0 ? StereoWeights{1.0f, 0.0f} : StereoWeights{0.0f, 1.0f};
  }
  float left = 0.0f;
  float right = 0.0f;
  for (const StereoWeights& w : weights) {
    left += w.left;
    right += w.right;
  }
  const float largest = std::max(left, right);
  if (largest > 1.0f) {
    for (StereoWeights& w : weights) {
      w.left /= largest;
      w.right /= largest;
    }
  }
  return weights;
}

}  // namespace morl::recorder
