#include "recorder/audio/microphone.h"

#include "recorder/media_time.h"

namespace morl::recorder {

std::int64_t MicTimeline::Duration(DWORD bytes) const {
  if (bytesPerSecond_ <= 0) return 0;
  return FramesToTicks(bytes, bytesPerSecond_);
}

void MicTimeline::Observe(std::int64_t timestamp, std::int64_t duration, std::int64_t now,
                          std::int64_t startTime) {
  if (first_) {
    first_ = false;
    firstTimestamp_ = timestamp;
    offset_ = (now - startTime) - duration;
    if (offset_ < 0) offset_ = 0;
    return;
  }
  // A sample is received some time after it ends; the quickest one seen
  // gives the truest offset, so a late first sample is corrected.
  const std::int64_t quickest = (now - startTime) - duration - (timestamp - firstTimestamp_);
  if (quickest >= 0 && quickest < offset_) offset_ = quickest;
}

std::int64_t MicTimeline::TimeOf(std::int64_t timestamp) const {
  return timestamp - firstTimestamp_ + offset_;
}

std::int64_t MicTimeline::Place(std::int64_t timestamp, std::int64_t duration, std::int64_t now,
                                std::int64_t startTime) {
  Observe(timestamp, duration, now, startTime);
  return TimeOf(timestamp);
}

}  // namespace morl::recorder
