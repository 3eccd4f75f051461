// Linear-interpolation resampling of the float queue to the 48 kHz output.
#include "recorder/wasapi_capture.h"

namespace morl::recorder {

bool WasapiCapture::PullFrame(float& left, float& right) {
  const auto i = static_cast<std::size_t>(readPos);
  // Interpolating needs frame i and frame i + 1.
  if (2 * i + 3 >= samples.size()) return false;
  const float l0 = samples[2 * i];
  const float r0 = samples[2 * i + 1];
  const float l1 = samples[2 * i + 2];
  const float r1 = samples[2 * i + 3];
  const auto f = static_cast<float>(readPos - static_cast<double>(i));
  left = (l1 - l0) * f + l0;
  right = (r1 - r0) * f + r0;
  readPos += step;
  return true;
}

void WasapiCapture::Consume() {
  const auto n = static_cast<std::size_t>(readPos);
  if (n == 0 || samples.size() < 2 * n) return;
  samples.erase(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(2 * n));
  readPos -= static_cast<double>(n);
  queueDevice += static_cast<std::int64_t>(n);
}

}  // namespace morl::recorder
