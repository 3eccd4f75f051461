// The clock that timers and message times follow.
#include <chrono>

#include "user_state.h"

namespace winsim::user {

std::int64_t ClockNow() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int64_t TicksPerMs() { return 1000; }

void AdvanceIdleClock(std::int64_t) {}

}  // namespace winsim::user
