#include "recorder/video/capture_watch.h"

#include <cstdio>

namespace morl::recorder {

bool ConditionTime::Observe(bool holds, std::int64_t t) {
  if (holds && !holding_) {
    holding_ = true;
    since_ = last_ = t;
    ++stretches_;
    return true;
  }
  if (!holding_) return false;
  last_ = t;
  if (!holds) {
    holding_ = false;
    closed_ += t - since_;
  }
  return true;
}

std::string ConditionTime::Text(const char* what) const {
  std::string text =
      std::string(what) + " for " + std::to_string(TicksToMilliseconds(Total())) + " ms";
  if (stretches_ > 1) text += " in " + std::to_string(stretches_) + " stretches";
  return text;
}

std::optional<double> CaptureRate::Frame(std::int64_t t) {
  times_.push_back(t);
  while (times_.front() <= t - kWindow) times_.pop_front();
  if (t < kWindow) return std::nullopt;
  // The intervals seen over the time they span, so that the window's edge,
  // which cuts an interval anywhere, does not count for a frame. A window
  // with one frame saw none for longer than itself.
  if (times_.size() < 2) return 0.0;
  return static_cast<double>(times_.size() - 1) * kTicksPerSecond / (t - times_.front());
}

std::string SlowCaptureText(double rate, std::int32_t requested) {
  char text[80];
  std::snprintf(text, sizeof text, "capture below requested rate: %.1f of %d fps", rate,
                static_cast<int>(requested));
  return text;
}

}  // namespace morl::recorder
