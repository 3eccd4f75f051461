// The objects a wait can be on: events, and waitable timers, which are events
// the machine's clock signals. All of them share one lock and one condition
// variable: waits are rare and short, and a wait on several objects then
// needs no registration with each of them. A timer is signalled lazily: it
// keeps its due time, and whoever looks at it under the lock (a wait, a
// cancel) first brings it up to the machine time, so no thread has to run
// for it and a manual clock stays exact.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <set>

namespace winsim {

constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
// The latest due time a timer keeps: some 14,000 years of machine time, past
// any run, and near enough that due times round and compare without overflow.
constexpr std::int64_t kFarOff = kNever / 2;

struct Waitable {
  bool manual_reset = false;
  bool signalled = false;
  bool timer = false;
  // Timers: the machine time of the next due time as set (kNever when not
  // set or cancelled), the period in 100-ns ticks (0: once), and whether the
  // due time is exact rather than on the first timer tick at or after it.
  bool high_resolution = false;
  std::int64_t due = kNever;
  std::int64_t period = 0;
};

struct WaitableState {
  std::mutex mutex;
  std::condition_variable changed;
  std::set<Waitable*> live;
};

WaitableState& Waitables();

// The machine time at which timer `w` is next signalled: its due time, on the
// first tick of the resolution in force unless it is a high-resolution timer;
// kNever when it is not set (and for events).
std::int64_t SignalTime(const Waitable& w);

// With the lock held: signals timer `w` if its signal time has come by `now`,
// and moves a periodic timer's due time on past `now` (periods missed are
// not queued), a one-shot's to kNever. Nothing for events.
void CatchUp(Waitable& w, std::int64_t now);

}  // namespace winsim
