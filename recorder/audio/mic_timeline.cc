#include "recorder/audio/microphone.h"

#include "recorder/media_time.h"

namespace morl::recorder {

std::int64_t MicTimeline::Duration(DWORD bytes) const {
  if (bytes_per_second_ <= 0) return 0;
  return FramesToTicks(bytes, bytes_per_second_);
}

void MicTimeline::Observe(std::int64_t timestamp, std::int64_t duration, std::int64_t now,
                          std::int64_t start_time) {
  if (first_) {
    first_ = false;
    first_timestamp_ = timestamp;
    offset_ = (now - start_time) - duration;
    if (offset_ < 0) offset_ = 0;
    return;
  }
  // A sample is received some time after it ends; the quickest one seen
  // gives the truest offset, so a late first sample is corrected.
  const std::int64_t quickest = (now - start_time) - duration - (timestamp - first_timestamp_);
  if (quickest >= 0 && quickest < offset_) offset_ = quickest;
}

std::int64_t MicTimeline::TimeOf(std::int64_t timestamp) const {
  return timestamp - first_timestamp_ + offset_;
}

std::int64_t MicTimeline::Place(std::int64_t timestamp, std::int64_t duration, std::int64_t now,
                                std::int64_t start_time) {
  Observe(timestamp, duration, now, start_time);
  return TimeOf(timestamp);
}

}  // namespace morl::recorder
