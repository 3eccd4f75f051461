// Timers and message times follow the machine's performance counter, so a
// manual clock drives them exactly.
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

// Sleep on a manual clock moves it by the time asked and returns at once.
void AdvanceIdleClock(std::int64_t ticks) {
  const std::int64_t per_ms = TicksPerMs();
  Sleep(static_cast<DWORD>((ticks + per_ms - 1) / per_ms));
}

}  // namespace winsim::user
