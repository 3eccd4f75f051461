#include "machine/machine_work.h"

#include <time.h>

#include <atomic>
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

// The processor time the calling thread has used.
std::chrono::nanoseconds ThreadProcessorTime() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

std::atomic<long long> gpu_work_ns{0};
thread_local int gpu_work_depth = 0;

}  // namespace

GpuWork::GpuWork() {
  if (gpu_work_depth++ == 0) started_ns_ = ThreadProcessorTime().count();
}

GpuWork::~GpuWork() {
  if (--gpu_work_depth == 0) gpu_work_ns += ThreadProcessorTime().count() - started_ns_;
}

double SimulatedGpuProcessorMs() { return static_cast<double>(gpu_work_ns.load()) / 1e6; }

// Counts the thread's own processor time, not the wall clock's: on a busy
// host the work then takes longer, as it would on a slower processor.
void SpendProcessorTime(double machine_ms) {
  const std::chrono::nanoseconds work = WallTimeOf(machine_ms);
  if (work.count() == 0) return;
  const std::chrono::nanoseconds end = ThreadProcessorTime() + work;
  volatile std::uint64_t sum = 0;
  while (ThreadProcessorTime() < end) {
    for (int i = 0; i < 1000; ++i) sum = sum + static_cast<std::uint64_t>(i);
  }
}

void WaitForDevice(double machine_ms) {
  const std::chrono::nanoseconds wall = WallTimeOf(machine_ms);
  if (wall.count() > 0) std::this_thread::sleep_for(wall);
}

}  // namespace winsim
