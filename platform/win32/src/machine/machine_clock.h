// The machine's clock as the other areas read and wait on it. Machine time
// is the performance counter's time in 100-ns ticks; the real clock runs at
// the machine's speed (a multiple of the wall clock), so every wait on it
// converts machine time into wall time here.
#pragma once

#include <chrono>
#include <cstdint>

#include "win32sim/base.h"

namespace winsim {

// The performance counter's time in 100-ns ticks (what animations see).
std::int64_t MachineNow100ns();

// Whether the clock is the manual one that only tests move.
bool ManualClockRunning();

// The machine time at which a timed wait of `ms` begun at `now` ends: the
// first timer tick at or after its due time. Ticks lie at multiples of the
// timer resolution in force from machine time 0.
std::int64_t TickedWaitEnd(std::int64_t now, DWORD ms);

// The first timer tick at or after machine time `time`.
std::int64_t TickAtOrAfter(std::int64_t time);

// The system time (UTC, in FILETIME's 100-ns ticks since 1601) at machine
// time 0: the system time is this plus the machine time.
std::int64_t SystemTimeAtMachineZero();

// The wall-clock moment at which the real clock reads machine time `time`.
std::chrono::steady_clock::time_point WallTimeAt(std::int64_t time);

// The wall time that `ticks` of machine time last at the clock's speed.
std::chrono::nanoseconds WallDurationOf(std::int64_t ticks);

// Moves a manual clock to machine time `time` (never backwards).
void AdvanceManualClockTo(std::int64_t time);

}  // namespace winsim
