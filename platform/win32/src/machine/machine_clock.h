// The machine's clock as the other areas read it.
#pragma once

#include <cstdint>

namespace winsim {

// The performance counter's time in 100-ns ticks (what animations see).
std::int64_t MachineNow100ns();

// Whether the clock is the manual one that only tests move.
bool ManualClockRunning();

}  // namespace winsim
