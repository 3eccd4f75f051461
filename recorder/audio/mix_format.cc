#include "recorder/audio/mix_format.h"

#include <ks.h>
#include <ksmedia.h>

#include <cstring>

namespace morl::recorder {

namespace {

// The sample layouts a mix format can have, each read as a float of full
// scale 1: unsigned 8-bit, little-endian signed 16-, 24- and 32-bit, and
// 32-bit float.
struct Pcm8 {
  static float Read(const BYTE* at) { return (static_cast<int>(at[0]) - 128) * (1.0f / 128.0f); }
};
struct Pcm16 {
  static float Read(const BYTE* at) {
    std::int16_t value;
    std::memcpy(&value, at, sizeof value);
    return static_cast<float>(value) * (1.0f / 32768.0f);
  }
};
struct Pcm24 {
  static float Read(const BYTE* at) {
    // Into the top three bytes of a 32-bit value, which keeps the sign.
    const std::uint32_t bits = (static_cast<std::uint32_t>(at[0]) << 8) |
                               (static_cast<std::uint32_t>(at[1]) << 16) |
                               (static_cast<std::uint32_t>(at[2]) << 24);
    return static_cast<float>(static_cast<std::int32_t>(bits) * (1.0 / 2147483648.0));
  }
};
struct Pcm32 {
  static float Read(const BYTE* at) {
    std::int32_t value;
    std::memcpy(&value, at, sizeof value);
    return static_cast<float>(static_cast<double>(value) * (1.0 / 2147483648.0));
  }
};
struct Float32 {
  static float Read(const BYTE* at) {
    float value;
    std::memcpy(&value, at, sizeof value);
    return value;
  }
};

// One instance per sample layout keeps the per-sample loop free of format
// tests.
template <typename Layout>
void ConvertFrames(const BYTE* data, UINT32 frames, const std::vector<StereoWeights>& weights,
                   std::uint32_t bytes_per_sample, float* out) {
  const std::size_t channels = weights.size();
  const std::size_t frame_bytes = channels * bytes_per_sample;
  for (UINT32 i = 0; i < frames; ++i) {
    const BYTE* frame = data + i * frame_bytes;
    float left = 0.0f;
    float right = 0.0f;
    for (std::size_t c = 0; c < channels; ++c) {
      const float sample = Layout::Read(frame + c * bytes_per_sample);
      left += weights[c].left * sample;
      right += weights[c].right * sample;
    }
    out[2 * i] = left;
    out[2 * i + 1] = right;
  }
}

}  // namespace

bool AcceptMixFormat(const WAVEFORMATEX& format, MixSampleLayout& layout) {
  bool is_float = false;
  if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
    is_float = true;
  } else if (format.wFormatTag == WAVE_FORMAT_PCM) {
    is_float = false;
  } else if (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
    // The sub-format lives past the plain header; a format that claims to be
    // extensible without carrying those bytes is not read beyond its end.
    if (format.cbSize < sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX)) return false;
    const auto& extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format);
    if (IsEqualGUID(extensible.SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT)) {
      is_float = true;
    } else if (IsEqualGUID(extensible.SubFormat, KSDATAFORMAT_SUBTYPE_PCM)) {
      is_float = false;
    } else {
      return false;
    }
  } else {
    return false;
  }
  if (is_float) {
    if (format.wBitsPerSample != 32) return false;
  } else if (format.wBitsPerSample != 8 && format.wBitsPerSample != 16 &&
             format.wBitsPerSample != 24 && format.wBitsPerSample != 32) {
    return false;
  }
  layout.is_float = is_float;
  layout.bytes_per_sample = format.wBitsPerSample / 8u;
  return true;
}

void CaptureFormat::ToStereo(const BYTE* data, UINT32 frames, float* out) const {
  if (is_float) {
    ConvertFrames<Float32>(data, frames, downmix, bytes_per_sample, out);
  } else if (bytes_per_sample == 1) {
    ConvertFrames<Pcm8>(data, frames, downmix, bytes_per_sample, out);
  } else if (bytes_per_sample == 2) {
    ConvertFrames<Pcm16>(data, frames, downmix, bytes_per_sample, out);
  } else if (bytes_per_sample == 3) {
    ConvertFrames<Pcm24>(data, frames, downmix, bytes_per_sample, out);
  } else {
    ConvertFrames<Pcm32>(data, frames, downmix, bytes_per_sample, out);
  }
}

}  // namespace morl::recorder
