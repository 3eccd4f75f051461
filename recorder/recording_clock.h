// RecordingClock: the recording's time line. Recorded time runs with the
// performance counter (Now100ns) from the start, and stands still while the
// recording is paused: every paused stretch is cut out, so what follows a
// resume continues right after what preceded the pause.
//
// Everything that stamps audio or video maps the moment it was captured
// through Cut: a time before any pause is unchanged, a later one moves back
// by the paused time before it, and a time inside a pause maps to the moment
// that pause began. Audio arrives some time after it was captured, so the
// clock keeps every pause of the recording, not only the last one.
//
// Threads: Start, Pause and Resume run on the platform thread; the other
// members are read by the workers at any time. Pause and Resume read the
// time under the clock's lock, so a worker that read a later time maps it
// with the new pause already known.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "recorder/now_100ns.h"

namespace morl::recorder {

class RecordingClock {
 public:
  using TimeSource = std::int64_t (*)();

  // `now` is the wall clock in 100-ns ticks; tests give their own.
  explicit RecordingClock(TimeSource now = Now100ns) : now_(now) {}

  // Begins a new recording at the present, forgetting earlier pauses, and
  // returns that moment.
  std::int64_t Start();
  // Begins a pause at the present; false when already paused.
  bool Pause();
  // Ends the pause at the present; false when not paused.
  bool Resume();
  bool Paused() const { return paused_.load(std::memory_order_acquire); }

  // `wall` (a Now100ns time) with the paused time before it cut out; a time
  // inside a pause maps to the pause's beginning.
  std::int64_t Cut(std::int64_t wall) const;
  // Whether `wall` lies in a pause (one still open included).
  bool InPause(std::int64_t wall) const;
  // Recorded time from the start to the present.
  std::int64_t Elapsed() const;

  // Of `frames` frames sampled `rate` times a second, the first at wall time
  // `first`: the leading frames that fall in a pause (`skip`) and the frames
  // that follow them up to the next pause (`keep`). Frames after those are
  // in a pause too, or come after it; they are not recorded.
  struct Run {
    std::int64_t skip = 0;
    std::int64_t keep = 0;
  };
  Run Recorded(std::int64_t first, std::int64_t frames, std::uint32_t rate) const;

 private:
  struct Stretch {
    std::int64_t begin = 0;
    std::int64_t end = 0;        // INT64_MAX while the pause lasts
    std::int64_t cut_before = 0;  // paused time before `begin`
  };
  // The last pause that began at or before `wall`, or null.
  const Stretch* PauseAtOrBefore(std::int64_t wall) const;
  std::int64_t CutLocked(std::int64_t wall) const;

  TimeSource now_;
  mutable std::mutex mutex_;
  std::int64_t start_ = 0;
  std::vector<Stretch> pauses_;  // in time order
  std::atomic<bool> paused_{false};
};

}  // namespace morl::recorder
