// The timer resolution: Sleep and timed waits end on the machine's timer
// ticks, which come every 15.625 ms unless the machine file sets another
// resolution or the process asks for a finer one with timeBeginPeriod. The
// periods begun are counted per value; the finest one begun and not ended is
// in force, never coarser than the machine's own.
#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>

#include "machine/machine_areas.h"
#include "machine/machine_clock.h"
#include "mmsystem.h"
#include "winsim.h"

namespace winsim {
namespace {

constexpr std::int64_t kDefaultResolution = 156'250;  // 15.625 ms in 100-ns ticks
constexpr std::int64_t kFinestResolution = 5'000;     // 0.5 ms
constexpr UINT kPeriodMin = 1;
constexpr UINT kPeriodMax = 1'000'000;

struct ResolutionState {
  std::mutex mutex;
  std::int64_t machine = kDefaultResolution;
  std::map<UINT, int> begun;  // period (ms) -> calls not yet ended
  std::atomic<std::int64_t> in_force{kDefaultResolution};
};

ResolutionState& Resolution() {
  static ResolutionState* state = new ResolutionState;  // used by threads that may outlive statics
  return *state;
}

// With the mutex held.
void Update(ResolutionState& s) {
  std::int64_t r = s.machine;
  if (!s.begun.empty())
    r = std::min<std::int64_t>(r, std::int64_t{s.begun.begin()->first} * 10'000);
  s.in_force = r;
}

}  // namespace

std::int64_t TickAtOrAfter(std::int64_t time) {
  const std::int64_t r = Resolution().in_force.load();
  return time <= 0 ? -(-time / r * r) : (time + r - 1) / r * r;
}

std::int64_t TickedWaitEnd(std::int64_t now, DWORD ms) {
  return TickAtOrAfter(now + std::int64_t{ms} * 10'000);
}

bool SetTimerResolution(double ms) {
  if (!(ms >= kFinestResolution / 10'000.0 && ms <= kDefaultResolution / 10'000.0)) return false;
  ResolutionState& s = Resolution();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.machine = std::llround(ms * 10'000);
  Update(s);
  return true;
}

double TimerResolutionInForce() { return static_cast<double>(Resolution().in_force) / 10'000; }

void ResetTimerArea() {
  ResolutionState& s = Resolution();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.machine = kDefaultResolution;
  s.begun.clear();
  Update(s);
}

// "timer": {"resolution_ms": R}
bool ApplyTimerKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_object()) {
    *error = "must be an object";
    return false;
  }
  double ms = kDefaultResolution / 10'000.0;
  if (!OnlyKnownKeys(value, {"resolution_ms"}, error) ||
      !ReadNumber(value, "resolution_ms", &ms, error)) {
    return false;
  }
  if (!SetTimerResolution(ms)) {
    *error = "\"resolution_ms\" must be from 0.5 to 15.625";
    return false;
  }
  return true;
}

}  // namespace winsim

MMRESULT timeGetDevCaps(LPTIMECAPS ptc, UINT cbtc) {
  if (ptc == nullptr || cbtc < sizeof(TIMECAPS)) return TIMERR_NOCANDO;
  ptc->wPeriodMin = winsim::kPeriodMin;
  ptc->wPeriodMax = winsim::kPeriodMax;
  return TIMERR_NOERROR;
}

MMRESULT timeBeginPeriod(UINT uPeriod) {
  if (uPeriod < winsim::kPeriodMin || uPeriod > winsim::kPeriodMax) return TIMERR_NOCANDO;
  winsim::ResolutionState& s = winsim::Resolution();
  std::lock_guard<std::mutex> lock(s.mutex);
  ++s.begun[uPeriod];
  winsim::Update(s);
  return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(UINT uPeriod) {
  if (uPeriod < winsim::kPeriodMin || uPeriod > winsim::kPeriodMax) return TIMERR_NOCANDO;
  winsim::ResolutionState& s = winsim::Resolution();
  std::lock_guard<std::mutex> lock(s.mutex);
  const auto it = s.begun.find(uPeriod);
  // An end that no begin of the same period matches changes nothing.
  if (it == s.begun.end()) return TIMERR_NOCANDO;
  if (--it->second == 0) s.begun.erase(it);
  winsim::Update(s);
  return TIMERR_NOERROR;
}
