#include "recorder/recording_clock.h"

#include <algorithm>
#include <limits>

#include "recorder/media_time.h"

namespace morl::recorder {

namespace {

constexpr std::int64_t kOpen = std::numeric_limits<std::int64_t>::max();

// How many of `frames` frames sampled `rate` times a second from `first` on
// are sampled before `limit`.
std::int64_t FramesBefore(std::int64_t first, std::int64_t limit, std::int64_t frames,
                          std::uint32_t rate) {
  if (limit <= first || frames <= 0 || rate == 0) return 0;
  if (limit == kOpen) return frames;
  // Beyond this distance every frame is before the limit; below it the
  // products cannot overflow.
  const std::int64_t span = frames * kTicksPerSecond / rate + kTicksPerSecond;
  if (limit - first >= span) return frames;
  const std::int64_t scaled = (limit - first) * static_cast<std::int64_t>(rate);
  // Frame i is at first + i / rate seconds: before the limit while
  // i * 10^7 < (limit - first) * rate.
  return std::min(frames, (scaled + kTicksPerSecond - 1) / kTicksPerSecond);
}

}  // namespace

std::int64_t RecordingClock::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  start_ = now_();
  pauses_.clear();
  paused_.store(false, std::memory_order_release);
  return start_;
}

bool RecordingClock::Pause() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (paused_.load(std::memory_order_relaxed)) return false;
  const std::int64_t now = now_();
  std::int64_t cut = 0;
  if (!pauses_.empty())
    cut = pauses_.back().cut_before + (pauses_.back().end - pauses_.back().begin);
  pauses_.push_back(Stretch{now, kOpen, cut});
  paused_.store(true, std::memory_order_release);
  return true;
}

bool RecordingClock::Resume() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!paused_.load(std::memory_order_relaxed)) return false;
  // A clock that did not move ends the pause where it began.
  pauses_.back().end = std::max(now_(), pauses_.back().begin);
  paused_.store(false, std::memory_order_release);
  return true;
}

const RecordingClock::Stretch* RecordingClock::PauseAtOrBefore(std::int64_t wall) const {
  // Most times asked about are recent: look from the newest pause back.
  for (auto it = pauses_.rbegin(); it != pauses_.rend(); ++it) {
    if (it->begin <= wall) return &*it;
  }
  return nullptr;
}

std::int64_t RecordingClock::CutLocked(std::int64_t wall) const {
  const Stretch* pause = PauseAtOrBefore(wall);
  if (pause == nullptr) return wall;
  if (wall < pause->end) return pause->begin - pause->cut_before;
  return wall - pause->cut_before - (pause->end - pause->begin);
}

std::int64_t RecordingClock::Cut(std::int64_t wall) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return CutLocked(wall);
}

bool RecordingClock::InPause(std::int64_t wall) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Stretch* pause = PauseAtOrBefore(wall);
  return pause != nullptr && wall < pause->end;
}

std::int64_t RecordingClock::Elapsed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::max<std::int64_t>(0, CutLocked(now_()) - start_);
}

RecordingClock::Run RecordingClock::Recorded(std::int64_t first, std::int64_t frames,
                                             std::uint32_t rate) const {
  std::lock_guard<std::mutex> lock(mutex_);
  Run run;
  if (frames <= 0) return run;
  const Stretch* pause = PauseAtOrBefore(first);
  if (pause != nullptr && first < pause->end) {
    run.skip = FramesBefore(first, pause->end, frames, rate);
    if (run.skip == frames) return run;
  }
  // The pause after the one at or before `first`: pauses are in time order.
  const std::size_t next =
      pause == nullptr ? 0 : static_cast<std::size_t>(pause - pauses_.data()) + 1;
  const std::int64_t next_pause = next < pauses_.size() ? pauses_[next].begin : kOpen;
  run.keep = FramesBefore(first, next_pause, frames, rate) - run.skip;
  if (run.keep < 0) run.keep = 0;
  return run;
}

}  // namespace morl::recorder
