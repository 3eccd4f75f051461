#include "recorder/now_100ns.h"

#include <windows.h>

#include "recorder/media_time.h"

namespace morl::recorder {

namespace {

std::int64_t CounterFrequency() {
  static const std::int64_t frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return static_cast<std::int64_t>(f.QuadPart);
  }();
  return frequency;
}

}  // namespace

std::int64_t CounterTo100ns(std::int64_t counter, std::int64_t frequency) {
  if (frequency <= 0) return 0;
  return (counter / frequency) * kTicksPerSecond +
         ((counter % frequency) * kTicksPerSecond) / frequency;
}

std::int64_t Now100ns() {
  const std::int64_t frequency = CounterFrequency();
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  return CounterTo100ns(counter.QuadPart, frequency);
}

}  // namespace morl::recorder
