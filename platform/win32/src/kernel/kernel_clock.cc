// The performance counter, the system time and Sleep. The real clock is
// steady_clock at 10 MHz, run at the machine's speed: at speed S the counter
// moves S ticks for each tick of the wall clock, and every wait lasts 1/S of
// its machine time. The manual clock stands still until advanced, and Sleep
// on it moves it to the tick where the sleep would end and returns at once,
// so tests drive time exactly. The system time moves with machine time.
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "machine/machine_areas.h"
#include "machine/machine_clock.h"
#include "windows.h"
#include "winsim.h"

namespace winsim {
namespace {

constexpr std::int64_t kRealFrequency = 10'000'000;
constexpr double kMaxSpeed = 100;

using WallTicks = std::chrono::duration<std::int64_t, std::ratio<1, kRealFrequency>>;

// The real counter from `wall` on: `counter` + (steady ticks - `wall`) x `speed`.
struct Timeline {
  std::int64_t counter;
  std::int64_t wall;
  double speed;
};

struct ClockState {
  std::atomic<bool> manual{false};
  std::atomic<std::int64_t> counter{0};
  std::atomic<std::int64_t> frequency{kRealFrequency};
  std::atomic<const Timeline*> timeline{nullptr};
  std::mutex mutex;  // guards the two below and serialises speed changes
  std::vector<std::unique_ptr<Timeline>> timelines;  // every one a reader may still hold
  std::function<void(DWORD)> sleep_hook;
};

std::int64_t WallNow() {
  return std::chrono::duration_cast<WallTicks>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

ClockState& Clock() {
  static ClockState* state = [] {
    auto* s = new ClockState;  // used by threads that may outlive statics
    const std::int64_t now = WallNow();
    s->timelines.push_back(std::make_unique<Timeline>(Timeline{now, now, 1.0}));
    s->timeline = s->timelines.back().get();
    return s;
  }();
  return *state;
}

std::int64_t RealCounter() {
  const Timeline& t = *Clock().timeline.load();
  return t.counter + std::llround(static_cast<double>(WallNow() - t.wall) * t.speed);
}

std::int64_t Counter() { return Clock().manual ? Clock().counter.load() : RealCounter(); }

std::int64_t Frequency() { return Clock().manual ? Clock().frequency.load() : kRealFrequency; }

// Machine time (100-ns ticks) of a counter value, and the first counter value
// at or after a machine time.
std::int64_t ToMachine(std::int64_t c, std::int64_t f) {
  return c / f * 10'000'000 + c % f * 10'000'000 / f;
}
std::int64_t ToCounter(std::int64_t t, std::int64_t f) {
  return t / 10'000'000 * f + (t % 10'000'000 * f + 9'999'999) / 10'000'000;
}

}  // namespace

std::int64_t MachineNow100ns() { return ToMachine(Counter(), Frequency()); }

std::chrono::steady_clock::time_point WallTimeAt(std::int64_t time) {
  const Timeline& t = *Clock().timeline.load();
  const double wall = static_cast<double>(time - t.counter) / t.speed;
  return std::chrono::steady_clock::time_point(
      WallTicks(t.wall + (wall > 0 ? static_cast<std::int64_t>(std::ceil(wall)) : 0)));
}

std::chrono::nanoseconds WallDurationOf(std::int64_t ticks) {
  const double speed = Clock().timeline.load()->speed;
  return std::chrono::nanoseconds(
      ticks > 0 ? static_cast<std::int64_t>(std::ceil(static_cast<double>(ticks) * 100 / speed))
                : 0);
}

std::int64_t SystemTimeAtMachineZero() {
  // The host's UTC time when first asked for, less the real clock's machine
  // time then; a manual clock counts from the same origin.
  static const std::int64_t origin = [] {
    constexpr std::int64_t kUnixEpochAsFileTime = 116'444'736'000'000'000;
    const auto since_unix =
        std::chrono::duration_cast<WallTicks>(std::chrono::system_clock::now().time_since_epoch());
    return kUnixEpochAsFileTime + since_unix.count() - ToMachine(RealCounter(), kRealFrequency);
  }();
  return origin;
}

void AdvanceManualClockTo(std::int64_t time) {
  ClockState& clock = Clock();
  const std::int64_t target = ToCounter(time, clock.frequency);
  std::int64_t now = clock.counter.load();
  while (now < target && !clock.counter.compare_exchange_weak(now, target)) {
  }
}

void UseManualClock(std::int64_t counter, std::int64_t frequency) {
  Clock().counter = counter;
  Clock().frequency = frequency > 0 ? frequency : kRealFrequency;
  Clock().manual = true;
}

void UseRealClock() { Clock().manual = false; }

bool ManualClockRunning() { return Clock().manual; }

void AdvanceClock(std::int64_t ticks) { Clock().counter += ticks; }

bool SetClockSpeed(double speed) {
  if (!(speed >= 1 && speed <= kMaxSpeed)) return false;
  ClockState& clock = Clock();
  std::lock_guard<std::mutex> lock(clock.mutex);
  if (clock.timeline.load()->speed == speed) return true;
  // The counter goes on from where it is, only faster or slower.
  const std::int64_t wall = WallNow();
  const Timeline& was = *clock.timeline.load();
  const std::int64_t counter =
      was.counter + std::llround(static_cast<double>(wall - was.wall) * was.speed);
  clock.timelines.push_back(std::make_unique<Timeline>(Timeline{counter, wall, speed}));
  clock.timeline = clock.timelines.back().get();
  return true;
}

double ClockSpeed() { return Clock().timeline.load()->speed; }

void SetSleepHook(std::function<void(DWORD ms)> hook) {
  std::lock_guard<std::mutex> lock(Clock().mutex);
  Clock().sleep_hook = std::move(hook);
}

void ResetClockArea() {
  UseRealClock();
  SetClockSpeed(1);
  Clock().frequency = kRealFrequency;
  Clock().counter = 0;
  SetSleepHook(nullptr);
}

// "clock": {"manual": true, "counter": 0, "frequency": 10000000} or
// "clock": {"speed": S}
bool ApplyClockKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_object()) {
    *error = "must be an object";
    return false;
  }
  bool manual = false;
  std::int64_t counter = 0, frequency = kRealFrequency;
  double speed = 1;
  if (!OnlyKnownKeys(value, {"manual", "counter", "frequency", "speed"}, error) ||
      !ReadBool(value, "manual", &manual, error) || !ReadInt64(value, "counter", &counter, error) ||
      !ReadInt64(value, "frequency", &frequency, error) ||
      !ReadNumber(value, "speed", &speed, error)) {
    return false;
  }
  if (frequency <= 0) {
    *error = "\"frequency\" must be positive";
    return false;
  }
  if (!(speed >= 1 && speed <= kMaxSpeed)) {
    *error = "\"speed\" must be from 1 to 100";
    return false;
  }
  if (manual && value.contains("speed")) {
    *error = "\"speed\" is for the real clock; a manual clock moves only when advanced";
    return false;
  }
  SetClockSpeed(speed);
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

void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  if (lpSystemTimeAsFileTime == nullptr) return;
  winsim::LoadMachineFromEnvironment();
  const auto time =
      static_cast<std::uint64_t>(winsim::SystemTimeAtMachineZero() + winsim::MachineNow100ns());
  lpSystemTimeAsFileTime->dwLowDateTime = static_cast<DWORD>(time);
  lpSystemTimeAsFileTime->dwHighDateTime = static_cast<DWORD>(time >> 32);
}

void Sleep(DWORD dwMilliseconds) {
  winsim::LoadMachineFromEnvironment();
  winsim::ClockState& clock = winsim::Clock();
  if (dwMilliseconds == 0) {
    std::this_thread::yield();
  } else {
    const std::int64_t end = winsim::TickedWaitEnd(winsim::MachineNow100ns(), dwMilliseconds);
    if (clock.manual)
      winsim::AdvanceManualClockTo(end);
    else
      std::this_thread::sleep_until(winsim::WallTimeAt(end));
  }
  std::function<void(DWORD)> hook;
  {
    std::lock_guard<std::mutex> lock(clock.mutex);
    hook = clock.sleep_hook;
  }
  if (hook) hook(dwMilliseconds);
}
