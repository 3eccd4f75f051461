#include <windows.h>

#include "audio_state.h"

namespace winsim {
namespace audio {

std::int64_t Now100ns() {
  LARGE_INTEGER counter{};
  LARGE_INTEGER frequency{};
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  if (frequency.QuadPart <= 0) return 0;
  // Split to avoid overflow of counter x 10^7 on long uptimes.
  const std::int64_t f = frequency.QuadPart;
  const std::int64_t c = counter.QuadPart;
  return c / f * 10'000'000 + c % f * 10'000'000 / f;
}

void WaitUntil(std::int64_t time) {
  for (;;) {
    const std::int64_t now = Now100ns();
    if (now >= time) return;
    // Sleep advances a manual clock by the requested time, so this loop
    // also ends at once there. Round up so a real clock is not polled.
    Sleep(static_cast<DWORD>((time - now + 9'999) / 10'000));
  }
}

}  // namespace audio
}  // namespace winsim
