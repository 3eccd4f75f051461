#include <cmath>

#include "audio/audio_state.h"
#include "audio/channel_layout.h"

namespace winsim {
namespace audio {
namespace {

void Put(BYTE* out, std::uint32_t bits, bool is_float, double v) {
  if (is_float) {
    if (bits == 32) {
      const float f = static_cast<float>(v);
      std::memcpy(out, &f, 4);
    } else if (bits == 64) {
      std::memcpy(out, &v, 8);
    }
    return;
  }
  switch (bits) {
    case 8:
      out[0] = static_cast<BYTE>(128 + std::lround(v * 127.0));
      return;
    case 16: {
      const auto s = static_cast<std::int16_t>(std::lround(v * 32767.0));
      std::memcpy(out, &s, 2);
      return;
    }
    case 24: {
      const auto s = static_cast<std::int32_t>(std::lround(v * 8388607.0));
      out[0] = static_cast<BYTE>(s & 0xFF);
      out[1] = static_cast<BYTE>((s >> 8) & 0xFF);
      out[2] = static_cast<BYTE>((s >> 16) & 0xFF);
      return;
    }
    case 32: {
      const auto s = static_cast<std::int32_t>(std::llround(v * 2147483647.0));
      std::memcpy(out, &s, 4);
      return;
    }
    default:
      return;
  }
}

}  // namespace

bool BeepTiming::Sounds(std::uint32_t frame) const {
  if (!(beep_ms > 0) || !(period_ms > 0)) return true;
  constexpr double kTicksPerMs = 10'000.0;
  const double sampled = first_sampled + frame * frame_period;
  return std::fmod(sampled, period_ms * kTicksPerMs) < beep_ms * kTicksPerMs;
}

void WriteTone(BYTE* out, std::int64_t first, std::uint32_t frames, std::uint32_t rate,
               const SampleLayout& layout, double tone_hz,
               const std::vector<double>& channel_levels, const BeepTiming* beep) {
  const std::uint32_t bytes = layout.bits / 8;
  const std::uint32_t channels = layout.channels;
  std::memset(out, 0, static_cast<std::size_t>(frames) * channels * bytes);
  if (rate == 0) return;
  constexpr double kTwoPi = 6.283185307179586;
  for (std::uint32_t i = 0; i < frames; ++i) {
    // The time is taken modulo one second so long streams keep their
    // precision; whole-hertz tones stay continuous across the wrap.
    const double t = static_cast<double>((first + i) % rate) / rate;
    const bool sounds = beep == nullptr || beep->Sounds(i);
    const double v = sounds ? std::sin(kTwoPi * tone_hz * t) : 0.0;
    for (std::uint32_t c = 0; c < channels && c < channel_levels.size(); ++c) {
      Put(out + (static_cast<std::size_t>(i) * channels + c) * bytes, layout.bits, layout.is_float,
          channel_levels[c] * v);
    }
  }
}

std::vector<double> DeviceChannelLevels(std::uint32_t channels, double level,
                                        std::uint32_t sounding_channels) {
  std::vector<double> levels(channels, 0.0);
  for (std::uint32_t c = 0; c < channels && c < 32; ++c) {
    if ((sounding_channels >> c) & 1U) levels[c] = level;
  }
  return levels;
}

DWORD ChannelMaskOf(const MixFormat& format) {
  return format.channel_mask == MixFormat::kLayoutOfChannelCount
             ? DefaultChannelMask(format.channels)
             : format.channel_mask;
}

}  // namespace audio
}  // namespace winsim
