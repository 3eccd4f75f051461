// What the video worker watches besides failing calls, each kept as a
// condition of the video track's failure while the recording runs:
//  - ConditionTime: how long, in recorded time, a condition held over all
//    its stretches (the screen unreadable, the display gone), one still
//    going included.
//  - CaptureRate: the rate frames reach the file at over the last few
//    seconds of recorded time, and the lowest such rate; only once the
//    recording is that long, so the start-up does not count.
// Both belong to the video worker's thread.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "recorder/media_time.h"

namespace morl::recorder {

class ConditionTime {
 public:
  // The condition holds (or not) at recorded time `t`, observed with a frame.
  // A stretch lasts from the first frame that saw it to the first that did
  // not. True when the total changed.
  bool Observe(bool holds, std::int64_t t);
  std::int64_t Total() const { return closed_ + (holding_ ? last_ - since_ : 0); }
  int Stretches() const { return stretches_; }
  // "<what> for N ms", with " in K stretches" when there were several.
  std::string Text(const char* what) const;

 private:
  bool holding_ = false;
  std::int64_t since_ = 0;
  std::int64_t last_ = 0;
  std::int64_t closed_ = 0;
  int stretches_ = 0;
};

class CaptureRate {
 public:
  static constexpr std::int64_t kWindow = 3 * kTicksPerSecond;

  // A frame written at recorded time `t` (from the start). The frames a
  // second over the window that ends at `t` (the frames in it, less one,
  // over the time from the first to `t`), once `t` is a window from the
  // start; nothing before.
  std::optional<double> Frame(std::int64_t t);

 private:
  std::deque<std::int64_t> times_;
};

// "capture below requested rate: R of F fps", R with one decimal.
std::string SlowCaptureText(double rate, std::int32_t requested);

}  // namespace morl::recorder
