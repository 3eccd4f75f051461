// The performance counter and Sleep. The real clock is steady_clock at
// 10 MHz; the manual clock stands still until advanced, and Sleep on it
// advances it and returns at once, so tests drive time exactly.
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "machine/machine_areas.h"
#include "machine/machine_clock.h"
#include "windows.h"
#include "winsim.h"

namespace winsim {
namespace {

constexpr std::int64_t kRealFrequency = 10'000'000;

struct ClockState {
  std::atomic<bool> manual{false};
  std::atomic<std::int64_t> counter{0};
  std::atomic<std::int64_t> frequency{kRealFrequency};
  std::mutex hook_mutex;
  std::function<void(DWORD)> sleep_hook;
};

ClockState& Clock() {
  static ClockState* state = new ClockState;  // used by threads that may outlive statics
  return *state;
}

std::int64_t RealCounter() {
  using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, kRealFrequency>>;
  return std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int64_t Counter() { return Clock().manual ? Clock().counter.load() : RealCounter(); }

std::int64_t Frequency() { return Clock().manual ? Clock().frequency.load() : kRealFrequency; }

}  // namespace

std::int64_t MachineNow100ns() {
  const std::int64_t c = Counter(), f = Frequency();
  return c / f * 10'000'000 + c % f * 10'000'000 / f;
}

void UseManualClock(std::int64_t counter, std::int64_t frequency) {
  Clock().counter = counter;
  Clock().frequency = frequency > 0 ? frequency : kRealFrequency;
  Clock().manual = true;
}

void UseRealClock() { Clock().manual = false; }

bool ManualClockRunning() { return Clock().manual; }

void AdvanceClock(std::int64_t ticks) { Clock().counter += ticks; }

void SetSleepHook(std::function<void(DWORD ms)> hook) {
  std::lock_guard<std::mutex> lock(Clock().hook_mutex);
  Clock().sleep_hook = std::move(hook);
}

void ResetClockArea() {
  UseRealClock();
  Clock().frequency = kRealFrequency;
  Clock().counter = 0;
  SetSleepHook(nullptr);
}

// "clock": {"manual": true, "counter": 0, "frequency": 10000000}
bool ApplyClockKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_object()) {
    *error = "must be an object";
    return false;
  }
  bool manual = false;
  std::int64_t counter = 0, frequency = kRealFrequency;
  if (!OnlyKnownKeys(value, {"manual", "counter", "frequency"}, error) ||
      !ReadBool(value, "manual", &manual, error) || !ReadInt64(value, "counter", &counter, error) ||
      !ReadInt64(value, "frequency", &frequency, error)) {
    return false;
  }
  if (frequency <= 0) {
    *error = "\"frequency\" must be positive";
    return false;
  }
  if (manual)
    UseManualClock(counter, frequency);
  else
    UseRealClock();
  return true;
}

}  // namespace winsim

BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount) {
  if (lpPerformanceCount == nullptr) return FALSE;
  winsim::LoadMachineFromEnvironment();
  lpPerformanceCount->QuadPart = winsim::Counter();
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency) {
  if (lpFrequency == nullptr) return FALSE;
  winsim::LoadMachineFromEnvironment();
  lpFrequency->QuadPart = winsim::Frequency();
  return TRUE;
}

void Sleep(DWORD dwMilliseconds) {
  winsim::ClockState& clock = winsim::Clock();
  if (clock.manual) {
    clock.counter += static_cast<std::int64_t>(dwMilliseconds) * clock.frequency / 1000;
  } else if (dwMilliseconds == 0) {
    std::this_thread::yield();
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
  }
  std::function<void(DWORD)> hook;
  {
    std::lock_guard<std::mutex> lock(clock.hook_mutex);
    hook = clock.sleep_hook;
  }
  if (hook) hook(dwMilliseconds);
}
