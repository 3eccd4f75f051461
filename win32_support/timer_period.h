// Asks for timer ticks at most `ms` apart (timeBeginPeriod) for the life of
// the object, so Sleep and timed waits end within `ms` of their due time
// instead of on the next tick of the default 15.6 ms timer. The matching
// timeEndPeriod is made on destruction, only if the begin succeeded.
#pragma once

#include <windows.h>
#include <timeapi.h>

namespace morl {

class TimerPeriod {
 public:
  explicit TimerPeriod(UINT ms) : ms_(timeBeginPeriod(ms) == TIMERR_NOERROR ? ms : 0) {}
  ~TimerPeriod() {
    if (ms_ != 0) timeEndPeriod(ms_);
  }
  TimerPeriod(const TimerPeriod&) = delete;
  TimerPeriod& operator=(const TimerPeriod&) = delete;

 private:
  UINT ms_;
};

}  // namespace morl
