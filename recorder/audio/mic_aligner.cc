#include "recorder/audio/mic_aligner.h"

#include <algorithm>
#include <cmath>

#include "recorder/audio/drift_steering.h"
#include "recorder/media_time.h"

namespace morl::recorder {

namespace {

// Beyond this difference between where a buffer belongs and the end of the
// track, the track jumps (silence or a skip) instead of steering the step.
// Small enough that the first buffers' placement, which the timeline refines
// as quicker buffers arrive, is corrected at once rather than over seconds.
constexpr double kJumpSeconds = 0.010;

std::int16_t ToPcm16(double value) {
  return static_cast<std::int16_t>(std::lround(std::clamp(value, -32768.0, 32767.0)));
}

}  // namespace

MicAligner::MicAligner(std::uint32_t sample_rate, std::uint32_t channels)
    : rate_(sample_rate), channels_(channels), history_(channels, 0) {}

void MicAligner::Rejoin() {
  rejoin_ = true;
  std::fill(history_.begin(), history_.end(), std::int16_t{0});
}

void MicAligner::FillTo(std::int64_t frame, std::vector<std::int16_t>& out) {
  // A track that starts with silence starts at time 0.
  started_ = true;
  if (frame <= written_) return;
  out.insert(out.end(), static_cast<std::size_t>(frame - written_) * channels_, std::int16_t{0});
  written_ = frame;
  position_ = 0.0;
  // What follows the silence is not blended with the frame before it.
  std::fill(history_.begin(), history_.end(), std::int16_t{0});
}

void MicAligner::Add(const std::int16_t* pcm, std::size_t frames, std::int64_t time,
                     std::vector<std::int16_t>& out) {
  if (frames == 0 || channels_ == 0 || rate_ <= 0.0) return;
  const double belongs =
      static_cast<double>(std::max<std::int64_t>(time, 0)) * rate_ / kTicksPerSecond;
  if (!started_) {
    started_ = true;
    written_ = std::llround(belongs);
    position_ = 0.0;
  }
  // Positive: this buffer would play later than it belongs.
  double late = static_cast<double>(written_) - (belongs + position_);
  // Half a frame: a rejoining device's first buffer is placed to the frame.
  const double jump = rejoin_ ? 0.5 : kJumpSeconds * rate_;
  rejoin_ = false;
  if (late < -jump) {
    const auto silence = static_cast<std::size_t>(std::llround(-late));
    out.insert(out.end(), silence * channels_, std::int16_t{0});
    written_ += static_cast<std::int64_t>(silence);
    position_ = 0.0;
    late = 0.0;
  } else if (late > jump) {
    position_ += late;
    late = 0.0;
  }
  const double step = 1.0 + SteeringCorrection(late, rate_);
  const auto count = static_cast<std::ptrdiff_t>(frames);
  for (;;) {
    const auto i = static_cast<std::ptrdiff_t>(std::floor(position_));
    if (i + 1 >= count) break;
    const double f = position_ - static_cast<double>(i);
    for (std::size_t c = 0; c < channels_; ++c) {
      const double a = i < 0 ? history_[c] : pcm[static_cast<std::size_t>(i) * channels_ + c];
      const double b = pcm[static_cast<std::size_t>(i + 1) * channels_ + c];
      out.push_back(ToPcm16(a + (b - a) * f));
    }
    position_ += step;
    ++written_;
  }
  // A skip past this buffer's end is not carried on: the next buffer's own
  // time says where it belongs.
  position_ = std::min(position_ - static_cast<double>(count), 0.0);
  std::copy(pcm + (frames - 1) * channels_, pcm + frames * channels_, history_.begin());
}

}  // namespace morl::recorder
