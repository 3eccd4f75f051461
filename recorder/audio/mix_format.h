// Which endpoint mix formats the capture can read: 32-bit float, or 8-, 16-,
// 24- or 32-bit integer PCM, plain or extensible. Rate and channel count are not
// judged here; the mixer resamples any rate and folds any channels into
// stereo by their speakers.
#pragma once

#include <windows.h>
#include <mmreg.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "recorder/audio/stereo_downmix.h"

namespace morl::recorder {

struct MixSampleLayout {
  bool is_float = false;
  UINT32 bytes_per_sample = 0;
};

// True when `format` is readable; `layout` then says how to read a sample.
bool AcceptMixFormat(const WAVEFORMATEX& format, MixSampleLayout& layout);

// An accepted mix format as the capture reads its packets.
struct CaptureFormat {
  std::uint32_t sample_rate = 0;  // frames per second
  std::uint32_t channels = 0;
  std::vector<StereoWeights> downmix;  // of each channel into left and right
  std::uint32_t bytes_per_sample = 0;    // 1 to 4
  bool is_float = false;                // samples are IEEE 32-bit float

  std::size_t FrameBytes() const { return static_cast<std::size_t>(channels) * bytes_per_sample; }
  // Writes the `frames` frames at `data` to `out` as interleaved stereo
  // floats of full scale 1, each channel folded in at its `downmix` weights.
  void ToStereo(const BYTE* data, UINT32 frames, float* out) const;
};

}  // namespace morl::recorder
