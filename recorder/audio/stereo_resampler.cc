#include "recorder/audio/stereo_resampler.h"

#include "recorder/audio/drift_steering.h"
#include "recorder/media_time.h"

namespace morl::recorder {

namespace {

constexpr double kOutputRate = kMixRate;

}  // namespace

void StereoResampler::SetInputRate(std::uint32_t rate) {
  base_step_ = rate / kOutputRate;
  step_ = base_step_;
}

bool StereoResampler::Pull(const SampleQueue& samples, float& left, float& right) {
  const auto i = static_cast<std::size_t>(position_);
  // Interpolating needs frame i and frame i + 1.
  if (2 * i + 3 >= samples.size()) return false;
  const float l0 = samples[2 * i];
  const float r0 = samples[2 * i + 1];
  const float l1 = samples[2 * i + 2];
  const float r1 = samples[2 * i + 3];
  const auto f = static_cast<float>(position_ - static_cast<double>(i));
  left = (l1 - l0) * f + l0;
  right = (r1 - r0) * f + r0;
  position_ += step_;
  return true;
}

std::size_t StereoResampler::Consume(SampleQueue& samples) {
  const auto n = static_cast<std::size_t>(position_);
  if (n == 0 || samples.size() < 2 * n) return 0;
  samples.drop_front(2 * n);
  position_ -= static_cast<double>(n);
  return n;
}

void StereoResampler::FrontDropped(std::size_t frames) {
  position_ -= static_cast<double>(frames);
  if (position_ < 0.0) position_ = 0.0;
}

void StereoResampler::Steer(double late) {
  step_ = base_step_ * (1.0 + SteeringCorrection(late, kOutputRate));
}

}  // namespace morl::recorder
