// LevelMeter: the peak absolute sample value of one audio source over the
// last 100 ms, for the recorder's status. The audio thread adds the peak of
// each block it records; the platform thread reads the level at any time.
// Neither waits for the other: the meter is ten 10-ms slots, each one atomic
// word holding the slot's number and its peak.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace morl::recorder {

class LevelMeter {
 public:
  // Forgets every level (a new recording).
  void Reset();
  // Records `peak` (an absolute sample value, full scale 1.0; larger values
  // count as 1.0) for audio recorded at `now` (100-ns ticks). One thread
  // adds at a time.
  void Add(float peak, std::int64_t now);
  // The largest peak added within the 100 ms up to `now`; 0 when none was.
  double Level(std::int64_t now) const;
  // The `now` of the latest Add since the last Reset; 0 when there was none.
  // Whether a source still delivers is read from it.
  std::int64_t LastAdded() const { return last_added_.load(std::memory_order_relaxed); }

  // The peak absolute value of `count` samples: floats in full scale 1.0,
  // or 16-bit PCM.
  static float Peak(const float* samples, std::size_t count);
  static float Peak(const std::int16_t* samples, std::size_t count);

 private:
  static constexpr std::int64_t kSlotTicks = 100'000;  // 10 ms
  static constexpr std::size_t kSlots = 10;
  // High 32 bits: the slot's number plus one (0: never used); low 32: the
  // peak's float bits.
  std::array<std::atomic<std::uint64_t>, kSlots> slots_{};
  std::atomic<std::int64_t> last_added_{0};
};

}  // namespace morl::recorder
