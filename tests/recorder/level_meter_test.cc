// The level meter: the peak of the last 100 ms, forgotten as it ages, and the
// peaks of sample blocks at full scale.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "recorder/audio/level_meter.h"

using namespace morl::recorder;

namespace {

constexpr std::int64_t kMs = 10'000;

TEST(LevelMeter, ReportsThePeakOfTheLast100Ms) {
  struct Add {
    float peak;
    std::int64_t at_ms;
  };
  struct Case {
    const char* name;
    std::vector<Add> adds;
    std::int64_t read_ms;
    double level;
  } cases[] = {
      {"nothing added", {}, 50, 0.0},
      {"the largest of recent blocks", {{0.2f, 10}, {0.7f, 40}, {0.3f, 80}}, 90, 0.7},
      {"the same slot keeps its largest", {{0.6f, 11}, {0.1f, 12}}, 15, 0.6},
      {"older than 100 ms is forgotten", {{0.9f, 0}, {0.2f, 150}}, 160, 0.2},
      {"a slot reused after wrapping forgets its old peak", {{0.9f, 5}, {0.1f, 105}}, 106, 0.1},
      {"silence after a loud block reads 0 once it aged", {{0.8f, 0}}, 250, 0.0},
      {"above full scale reads full scale", {{3.0f, 10}}, 20, 1.0},
      {"NaN and negative read as silence",
       {{std::numeric_limits<float>::quiet_NaN(), 10}, {-0.5f, 20}},
       30,
       0.0},
      {"far in the future", {{0.4f, 1'000'000'000}}, 1'000'000'050, 0.4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LevelMeter meter;
    for (const Add& add : c.adds) meter.Add(add.peak, add.at_ms * kMs);
    EXPECT_NEAR(meter.Level(c.read_ms * kMs), c.level, 1e-6);
  }
}

TEST(LevelMeter, ResetForgetsEverything) {
  LevelMeter meter;
  meter.Add(0.5f, 10 * kMs);
  meter.Reset();
  EXPECT_EQ(meter.Level(20 * kMs), 0.0);
}

TEST(LevelMeter, PeaksAreAbsoluteAtFullScale) {
  const std::vector<float> floats = {0.1f, -0.75f, 0.5f};
  EXPECT_FLOAT_EQ(LevelMeter::Peak(floats.data(), floats.size()), 0.75f);
  const std::vector<std::int16_t> pcm = {100, -32768, 32767};
  EXPECT_FLOAT_EQ(LevelMeter::Peak(pcm.data(), pcm.size()), 1.0f);
  const std::vector<std::int16_t> half = {16384, -8192};
  EXPECT_FLOAT_EQ(LevelMeter::Peak(half.data(), half.size()), 0.5f);
  EXPECT_EQ(LevelMeter::Peak(floats.data(), 0), 0.0f);
}

}  // namespace
