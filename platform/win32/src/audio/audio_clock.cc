#include <windows.h>
#include <winsim.h>

#include <chrono>
#include <thread>

#include "audio/audio_state.h"
#include "machine/machine_clock.h"

namespace winsim {
namespace audio {

std::int64_t Now100ns() { return MachineNow100ns(); }

void WaitUntil(std::int64_t time) {
  for (;;) {
    const std::int64_t now = Now100ns();
    if (now >= time) return;
    // A manual clock is moved to the time; a device delivers at its own
    // pace whether or not anyone sleeps. Advancing the counter while the
    // real clock runs changes nothing that can be read, so the real clock
    // is then slept on. Sleep itself is not called: it would show the
    // device's wait to the product's sleep hook as a sleep of its own.
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    const std::int64_t wait = time - now;
    AdvanceClock((wait * frequency.QuadPart + 9'999'999) / 10'000'000);
    if (Now100ns() >= time) return;
    std::this_thread::sleep_for(WallDurationOf(wait));
  }
}

}  // namespace audio
}  // namespace winsim
