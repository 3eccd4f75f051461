// Placing captured packets on the recording's clock and rendering them at
// the output frames they belong to.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "recorder/wasapi_capture.h"

namespace morl::recorder {

namespace {

constexpr double kTicksPerSecond = 10'000'000.0;
constexpr double kOutputRate = 48000.0;
// A packet whose time disagrees with its device position by more than this
// is placed by its time: the position no longer says where it belongs.
constexpr double kPositionTrustSeconds = 0.020;
// Silence longer than this is not queued: the queue restarts at the packet
// instead, and Render holds silence until the packet's time.
constexpr double kLongestPaddedGapSeconds = 1.0;
// Beyond this difference (in output frames) between where the audio belongs
// and where it would play, Render jumps instead of steering the step.
constexpr double kJumpFrames = 0.020 * kOutputRate;
// The step is steered by the difference over this time constant, and by at
// most this fraction: 0.5 % is far beyond any device clock's error, and far
// too slow a change of pitch to hear.
constexpr double kSteerSeconds = 1.0;
constexpr double kLargestCorrection = 0.005;

}  // namespace

void WasapiCapture::PlacePacket(std::int64_t devicePosition, std::int64_t qpcPosition,
                                bool discontinuity) {
  const auto queued = static_cast<std::int64_t>(samples.size() / 2);
  std::int64_t gap = 0;  // frames the device delivered nothing for
  bool contiguous = false;
  if (anchored && sampleRate != 0) {
    const std::int64_t queueEnd = queueDevice + queued;
    gap = devicePosition - queueEnd;
    const double endQpc =
        static_cast<double>(anchorQpc) + static_cast<double>(queueEnd - anchorDevice) *
                                             kTicksPerSecond / static_cast<double>(sampleRate);
    const double timeGap =
        (static_cast<double>(qpcPosition) - endQpc) * sampleRate / kTicksPerSecond;
    if (std::abs(timeGap - static_cast<double>(gap)) > kPositionTrustSeconds * sampleRate) {
      gap = std::llround(timeGap);
      discontinuity = true;
    }
    contiguous = gap == 0 && !discontinuity;
  }
  if (!anchored) {
    placeExactly = true;  // the first packet: Render waits for its time
  } else if (!contiguous) {
    const double unread = static_cast<double>(queued) - readPos;
    const bool padded = unread > 1.0 && gap >= 0 &&
                        static_cast<double>(gap) <= kLongestPaddedGapSeconds * sampleRate;
    if (padded) {
      samples.resize(samples.size() + 2 * static_cast<std::size_t>(gap));  // zeros: silence
    } else {
      samples.clear();
      readPos = 0.0;
      placeExactly = true;
    }
  }
  // The queue is labelled so that this packet starts at its device position.
  queueDevice = devicePosition - static_cast<std::int64_t>(samples.size() / 2);
  anchorDevice = devicePosition;
  anchorQpc = qpcPosition;
  anchored = true;
}

double WasapiCapture::OutputFrameOf(double index, std::int64_t origin) const {
  return static_cast<double>(anchorQpc - origin) * kOutputRate / kTicksPerSecond +
         (static_cast<double>(queueDevice - anchorDevice) + index) / baseStep;
}

std::int64_t WasapiCapture::CoveredUntil(std::int64_t origin, std::int64_t next) const {
  if (!anchored) return std::numeric_limits<std::int64_t>::min();
  // Interpolating the last queued frame needs the one after it.
  const double last = static_cast<double>(samples.size() / 2) - 1.0;
  if (placeExactly) return static_cast<std::int64_t>(std::floor(OutputFrameOf(last, origin)));
  // Read from where reading is, at the fastest step steering may take.
  const double left = (last - readPos) / (baseStep * (1.0 + kLargestCorrection));
  return next + static_cast<std::int64_t>(std::floor(left));
}

bool WasapiCapture::Render(std::int64_t frame, std::int64_t origin, float& left, float& right) {
  if (!anchored) return false;
  // Positive: the audio at readPos plays later than it belongs.
  double late = static_cast<double>(frame) - OutputFrameOf(readPos, origin);
  if (placeExactly || std::abs(late) > kJumpFrames) {
    if (late < -0.5) {
      placeExactly = true;  // hold silence until the audio's time
      return false;
    }
    readPos += std::max(0.0, late) * baseStep;  // what is past is dropped
    placeExactly = false;
    late = 0.0;
  }
  const double correction =
      std::clamp(late / (kSteerSeconds * kOutputRate), -kLargestCorrection, kLargestCorrection);
  step = baseStep * (1.0 + correction);
  return PullFrame(left, right);
}

}  // namespace morl::recorder
