#include "machine/machine_work.h"

#include <chrono>
#include <cstdint>
#include <thread>

#include "machine/machine_clock.h"

namespace winsim {
namespace {

// The wall time `machine_ms` lasts at the clock's speed; zero under the
// manual clock or for no work.
std::chrono::nanoseconds WallTimeOf(double machine_ms) {
  if (!(machine_ms > 0) || ManualClockRunning()) return std::chrono::nanoseconds(0);
  return WallDurationOf(static_cast<std::int64_t>(machine_ms * 10'000));
}

}  // namespace

void SpendProcessorTime(double machine_ms) {
  const std::chrono::nanoseconds wall = WallTimeOf(machine_ms);
  if (wall.count() == 0) return;
  const auto end = std::chrono::steady_clock::now() + wall;
  volatile std::uint64_t work = 0;
  while (std::chrono::steady_clock::now() < end) {
    for (int i = 0; i < 1000; ++i) work = work + static_cast<std::uint64_t>(i);
  }
}

void WaitForDevice(double machine_ms) {
  const std::chrono::nanoseconds wall = WallTimeOf(machine_ms);
  if (wall.count() > 0) std::this_thread::sleep_for(wall);
}

}  // namespace winsim
