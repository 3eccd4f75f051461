// Timers and message times follow the machine's performance counter, so a
// manual clock drives them exactly.
#include "machine/machine_clock.h"
#include "user/user_state.h"

namespace winsim::user {

std::int64_t ClockNow() {
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

std::int64_t TicksPerMs() {
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart >= 1000 ? frequency.QuadPart / 1000 : 1;
}

// To the timer's due time exactly: timers are not held to the ticks that
// end sleeps and timed waits.
void AdvanceIdleClock(std::int64_t ticks) {
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  const std::int64_t f = frequency.QuadPart;
  AdvanceManualClockTo(MachineNow100ns() + ticks / f * 10'000'000 + ticks % f * 10'000'000 / f);
}

}  // namespace winsim::user
