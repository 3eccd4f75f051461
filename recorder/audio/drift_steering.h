// Drift steering: a device clock runs a little off the recording's clock, so
// the audio read from it drifts from where it belongs. Both audio paths
// follow the difference by changing their resampling step a little rather
// than dropping or repeating samples.
#pragma once

#include <algorithm>

namespace morl::recorder {

// The step follows the difference over this time constant, by at most 0.5 %:
// far beyond any device clock's error, far too slow a change of pitch to hear.
inline constexpr double kSteerSeconds = 1.0;
inline constexpr double kLargestCorrection = 0.005;

// The relative change of the resampling step for audio that plays `late`
// frames (at `rate` frames a second) later than it belongs; negative when it
// plays early.
inline double SteeringCorrection(double late, double rate) {
  return std::clamp(late / (kSteerSeconds * rate), -kLargestCorrection, kLargestCorrection);
}

}  // namespace morl::recorder
