#include "recorder/audio/level_meter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace morl::recorder {

namespace {

std::uint32_t Bits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

float FromBits(std::uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

void LevelMeter::Reset() {
  for (auto& slot : slots_) slot.store(0, std::memory_order_relaxed);
  last_added_.store(0, std::memory_order_relaxed);
}

void LevelMeter::Add(float peak, std::int64_t now) {
  // NaN and negative values read as silence, anything above full scale as full scale.
  if (!(peak > 0.0f)) peak = 0.0f;
  peak = std::min(peak, 1.0f);
  // Slot numbers wrap after 2^32 slots (over a year); only equality matters.
  const auto number = static_cast<std::uint32_t>(now / kSlotTicks) + 1u;
  std::atomic<std::uint64_t>& slot = slots_[static_cast<std::size_t>(now / kSlotTicks) % kSlots];
  const std::uint64_t held = slot.load(std::memory_order_relaxed);
  if (static_cast<std::uint32_t>(held >> 32) == number) {
    peak = std::max(peak, FromBits(static_cast<std::uint32_t>(held)));
  }
  slot.store((static_cast<std::uint64_t>(number) << 32) | Bits(peak), std::memory_order_relaxed);
  last_added_.store(now, std::memory_order_relaxed);
}

double LevelMeter::Level(std::int64_t now) const {
  const std::int64_t current = now / kSlotTicks;
  float level = 0.0f;
  for (const auto& slot : slots_) {
    const std::uint64_t held = slot.load(std::memory_order_relaxed);
    if ((held >> 32) == 0) continue;
    // The slot's age in slots, from its number modulo 2^32.
    const std::uint32_t age =
        static_cast<std::uint32_t>(current) + 1u - static_cast<std::uint32_t>(held >> 32);
    if (age < kSlots) level = std::max(level, FromBits(static_cast<std::uint32_t>(held)));
  }
  return level;
}

float LevelMeter::Peak(const float* samples, std::size_t count) {
  float peak = 0.0f;
  for (std::size_t i = 0; i < count; ++i) peak = std::max(peak, std::fabs(samples[i]));
  return peak;
}

float LevelMeter::Peak(const std::int16_t* samples, std::size_t count) {
  int peak = 0;
  for (std::size_t i = 0; i < count; ++i) peak = std::max(peak, std::abs(int{samples[i]}));
  return static_cast<float>(peak) / 32768.0f;
}

}  // namespace morl::recorder
