// Media time: the recorder counts time in 100-ns ticks, the unit of Media
// Foundation's sample times and of the recorder clock (Now100ns), and mixes
// computer audio at one output rate.
#pragma once

#include <cstdint>

namespace morl::recorder {

inline constexpr std::int64_t kTicksPerSecond = 10'000'000;
inline constexpr std::int64_t kTicksPerMillisecond = 10'000;

// Frames a second of the mixed computer-audio track.
inline constexpr std::uint32_t kMixRate = 48000;

// The time `frames` frames at `rate` frames a second last, truncated.
constexpr std::int64_t FramesToTicks(std::int64_t frames, std::int64_t rate) {
  return frames * kTicksPerSecond / rate;
}

// The frames at `rate` frames a second that fit in `ticks`, truncated.
constexpr std::int64_t TicksToFrames(std::int64_t ticks, std::int64_t rate) {
  return ticks * rate / kTicksPerSecond;
}

// Whole milliseconds of `ticks`, truncated.
constexpr std::int64_t TicksToMilliseconds(std::int64_t ticks) {
  return ticks / kTicksPerMillisecond;
}

}  // namespace morl::recorder
