// StereoResampler: reads a capture's stereo queue at the 48 kHz output rate
// by linear interpolation. Its position walks the queue in input frames, by
// a step of input frames per output frame; the placement on the recording's
// clock moves the position and steers the step around its exact value when
// the device's clock drifts from the recording's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "recorder/audio/sample_queue.h"

namespace morl::recorder {

class StereoResampler {
 public:
  // Reads at `step` input frames per output frame (also the exact step)
  // from `position`, in input frames from the front of the queue.
  explicit StereoResampler(double step = 1.0, double position = 0.0)
      : position_(position), step_(step), base_step_(step) {}

  // Input at `rate` frames a second from now on, read at the exact step.
  void SetInputRate(std::uint32_t rate);

  double position() const { return position_; }
  double step() const { return step_; }
  // The step when the device keeps time exactly.
  double base_step() const { return base_step_; }

  // The next output frame by linear interpolation; false (outputs
  // untouched) while the two input frames it needs are not both queued.
  bool Pull(const SampleQueue& samples, float& left, float& right);
  // Drops the whole input frames already passed from `samples`; the fraction
  // stays. Returns how many frames were dropped.
  std::size_t Consume(SampleQueue& samples);
  // `frames` frames were dropped from the front of the queue by someone
  // else: the position follows them, never before the front.
  void FrontDropped(std::size_t frames);

  // Skips `frames` input frames ahead.
  void Skip(double frames) { position_ += frames; }
  // Reads from the front of the queue again; the step stays.
  void Restart() { position_ = 0.0; }
  // Sets the step for audio that plays `late` output frames later than it
  // belongs (negative: earlier), a small change around the exact step.
  void Steer(double late);

 private:
  double position_;
  double step_;
  double base_step_;
};

}  // namespace morl::recorder
