// PacketPlacement: where a capture's queued audio plays on the recording's
// clock. Every packet comes with its device position (its first frame's
// place in the endpoint's stream) and its QPC position (the performance
// counter, in 100-ns units, when that frame was sampled). The latest packet
// anchors the queue on the recording's clock, so each queued frame knows the
// output frame it belongs to, however late the packet arrived. Packets that
// follow each other in device position are queued back to back; a gap in
// position or in time, or the discontinuity flag, means the device delivered
// nothing there, and silence takes its place. Before each output frame the
// placement compares where the frame the resampler reads belongs with the
// output frame asked for: a small difference (a device clock off the
// counter) is corrected by a smooth change of the resampling step, a large
// one (the first packet, audio that resumes, a burst later than the mixer
// waited) by holding silence until the audio's time, or by skipping what is
// past.
#pragma once

#include <cstddef>
#include <cstdint>

#include "recorder/audio/sample_queue.h"
#include "recorder/audio/stereo_resampler.h"
#include "recorder/recording_clock.h"

namespace morl::recorder {

// The timing of one delivered packet.
struct PacketTiming {
  std::int64_t frames = 0;
  std::int64_t device_position = 0;  // of its first frame in the endpoint's stream
  std::int64_t qpc_position = 0;     // 100-ns counter time its first frame was sampled
  bool discontinuity = false;       // the device lost audio before it
};

class PacketPlacement {
 public:
  // The frames of a packet to queue: `keep` frames from frame `skip`.
  struct Kept {
    std::int64_t skip = 0;
    std::int64_t keep = 0;
  };

  // Takes a packet of input at `rate` frames a second about to be appended
  // to `samples`. With a `clock`, what was captured while the recording was
  // paused is dropped, and the device position and capture time of the rest
  // are given with the paused stretches cut out of both, so audio after a
  // resume follows audio before the pause. What is kept is placed (Place).
  Kept Admit(const PacketTiming& packet, std::uint32_t rate, const RecordingClock* clock,
             SampleQueue& samples, StereoResampler& resampler);
  // Places a packet about to be appended to `samples`: pads the queue with
  // the silence of a gap, or restarts it (and the resampler) after a long
  // one, and anchors it on the packet's positions.
  void Place(SampleQueue& samples, StereoResampler& resampler, std::uint32_t rate,
             std::int64_t device_position, std::int64_t qpc_position, bool discontinuity);
  // The front `frames` frames of the queue were dropped.
  void FrontDropped(std::size_t frames) { queue_device_ += static_cast<std::int64_t>(frames); }

  // Output frame (48 kHz, counted from `origin`, a 100-ns counter time) at
  // which the queued frame `index` plays, read at `base_step` input frames per
  // output frame.
  double OutputFrameOf(double index, std::int64_t origin, double base_step) const;
  // The output frame up to which (excluded) the queued audio can render when
  // `next` is the next frame asked for, or INT64_MIN before the first packet.
  std::int64_t CoveredUntil(const SampleQueue& samples, const StereoResampler& resampler,
                            std::int64_t origin, std::int64_t next) const;
  // Moves `resampler` to the audio of output frame `frame` and steers its
  // step: false when the queue holds nothing for that frame, which then
  // plays as silence.
  bool Align(StereoResampler& resampler, std::int64_t frame, std::int64_t origin);
  // The next Align jumps to the queued audio's time instead of steering
  // towards it: the output went on without this source.
  void PlaceNextByTime() { place_exactly_ = true; }

  // The device positions of the first queued frame and of the latest packet,
  // and that packet's capture time.
  std::int64_t queue_device() const { return queue_device_; }
  std::int64_t anchor_device() const { return anchor_device_; }
  std::int64_t anchor_qpc() const { return anchor_qpc_; }

 private:
  bool anchored_ = false;
  bool place_exactly_ = false;  // the next Align jumps to the audio's time
  std::int64_t queue_device_ = 0;
  std::int64_t anchor_device_ = 0;
  std::int64_t anchor_qpc_ = 0;
  // Device frames dropped because the recording was paused: cut out of the
  // device positions, as the paused time is cut out of the capture times.
  std::int64_t paused_frames_ = 0;
  // A discontinuity flagged on a packet dropped while paused, kept for the
  // next packet queued.
  bool pending_discontinuity_ = false;
};

}  // namespace morl::recorder
