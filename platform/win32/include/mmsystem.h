// winmm of the simulated machine: the timer resolution. Sleep and timed
// waits end on the machine's timer ticks (15.625 ms apart unless the machine
// file's "timer" key says otherwise); timeBeginPeriod asks for ticks at most
// uPeriod ms apart until the matching timeEndPeriod. Periods from 1 to
// 1,000,000 ms are in range; an end that no begin of the same period matches
// returns TIMERR_NOCANDO, as does timeGetDevCaps for a null or short TIMECAPS.
#pragma once

#include "win32sim/base.h"

using MMRESULT = UINT;

constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT TIMERR_NOCANDO = 97;

struct TIMECAPS {
  UINT wPeriodMin;
  UINT wPeriodMax;
};
using LPTIMECAPS = TIMECAPS*;

MMRESULT timeGetDevCaps(LPTIMECAPS ptc, UINT cbtc);
MMRESULT timeBeginPeriod(UINT uPeriod);
MMRESULT timeEndPeriod(UINT uPeriod);
