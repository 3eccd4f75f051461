#include "recorder/audio/packet_placement.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "recorder/audio/drift_steering.h"
#include "recorder/media_time.h"

namespace morl::recorder {

namespace {

constexpr double kOutputRate = kMixRate;
// A packet whose time disagrees with its device position by more than this
// is placed by its time: the position no longer says where it belongs.
constexpr double kPositionTrustSeconds = 0.020;
// Silence longer than this is not queued: the queue restarts at the packet
// instead, and Align holds silence until the packet's time.
constexpr double kLongestPaddedGapSeconds = 1.0;
// Beyond this difference (in output frames) between where the audio belongs
// and where it would play, Align jumps instead of steering the step.
constexpr double kJumpFrames = 0.020 * kOutputRate;

}  // namespace

PacketPlacement::Kept PacketPlacement::Admit(const PacketTiming& packet, std::uint32_t rate,
                                             const RecordingClock* clock, SampleQueue& samples,
                                             StereoResampler& resampler) {
  pending_discontinuity_ = pending_discontinuity_ || packet.discontinuity;
  Kept kept{0, packet.frames};
  std::int64_t time = packet.qpc_position;
  if (clock != nullptr && rate != 0) {
    const RecordingClock::Run run = clock->Recorded(packet.qpc_position, packet.frames, rate);
    kept = {run.skip, run.keep};
    time = clock->Cut(packet.qpc_position + FramesToTicks(kept.skip, rate));
  }
  // The first kept frame is at devicePosition + skip, with the skipped
  // frames and those of earlier pauses cut out before it.
  const std::int64_t position = packet.device_position - paused_frames_;
  paused_frames_ += packet.frames - kept.keep;
  if (kept.keep <= 0) return kept;
  Place(samples, resampler, rate, position, time, pending_discontinuity_);
  pending_discontinuity_ = false;
  return kept;
}

void PacketPlacement::Place(SampleQueue& samples, StereoResampler& resampler, std::uint32_t rate,
                            std::int64_t device_position, std::int64_t qpc_position,
                            bool discontinuity) {
  const auto queued = static_cast<std::int64_t>(samples.size() / 2);
  std::int64_t gap = 0;  // frames the device delivered nothing for
  bool contiguous = false;
  if (anchored_ && rate != 0) {
    const std::int64_t queue_end = queue_device_ + queued;
    gap = device_position - queue_end;
    const double end_qpc =
        static_cast<double>(anchor_qpc_) +
        static_cast<double>(queue_end - anchor_device_) * kTicksPerSecond / static_cast<double>(rate);
    const double time_gap = (static_cast<double>(qpc_position) - end_qpc) * rate / kTicksPerSecond;
    if (std::abs(time_gap - static_cast<double>(gap)) > kPositionTrustSeconds * rate) {
      gap = std::llround(time_gap);
      discontinuity = true;
    }
    contiguous = gap == 0 && !discontinuity;
  }
  if (!anchored_) {
    place_exactly_ = true;  // the first packet: Align waits for its time
  } else if (!contiguous) {
    const double unread = static_cast<double>(queued) - resampler.position();
    const bool padded =
        unread > 1.0 && gap >= 0 && static_cast<double>(gap) <= kLongestPaddedGapSeconds * rate;
    if (padded) {
      samples.append_silence(2 * static_cast<std::size_t>(gap));  // zeros: silence
    } else {
      samples.clear();
      resampler.Restart();
      place_exactly_ = true;
    }
  }
  // The queue is labelled so that this packet starts at its device position.
  queue_device_ = device_position - static_cast<std::int64_t>(samples.size() / 2);
  anchor_device_ = device_position;
  anchor_qpc_ = qpc_position;
  anchored_ = true;
}

double PacketPlacement::OutputFrameOf(double index, std::int64_t origin, double base_step) const {
  return static_cast<double>(anchor_qpc_ - origin) * kOutputRate / kTicksPerSecond +
         (static_cast<double>(queue_device_ - anchor_device_) + index) / base_step;
}

std::int64_t PacketPlacement::CoveredUntil(const SampleQueue& samples,
                                           const StereoResampler& resampler, std::int64_t origin,
                                           std::int64_t next) const {
  if (!anchored_) return std::numeric_limits<std::int64_t>::min();
  // Interpolating the last queued frame needs the one after it.
  const double last = static_cast<double>(samples.size() / 2) - 1.0;
  const double base_step = resampler.base_step();
  if (place_exactly_) {
    return static_cast<std::int64_t>(std::floor(OutputFrameOf(last, origin, base_step)));
  }
  // Read from where reading is, at the fastest step steering may take.
  const double left = (last - resampler.position()) / (base_step * (1.0 + kLargestCorrection));
  return next + static_cast<std::int64_t>(std::floor(left));
}

bool PacketPlacement::Align(StereoResampler& resampler, std::int64_t frame, std::int64_t origin) {
  if (!anchored_) return false;
  const double base_step = resampler.base_step();
  // Positive: the audio being read plays later than it belongs.
  double late = static_cast<double>(frame) - OutputFrameOf(resampler.position(), origin, base_step);
  if (place_exactly_ || std::abs(late) > kJumpFrames) {
    if (late < -0.5) {
      place_exactly_ = true;  // hold silence until the audio's time
      return false;
    }
    resampler.Skip(std::max(0.0, late) * base_step);  // what is past is dropped
    place_exactly_ = false;
    late = 0.0;
  }
  resampler.Steer(late);
  return true;
}

}  // namespace morl::recorder
