// RecordingTimeline: what every worker of a recording follows: the stop
// signal, the recording's clock and the moment it started. The start sets
// it up before any worker is launched; the workers only read it (the stop's
// waits and the clock are safe from any thread). Pause and resume move the
// clock and wake the video worker; the stop signals the stop.
#pragma once

#include <cstdint>

#include "recorder/recording_clock.h"
#include "recorder/worker_stop.h"

namespace morl::recorder {

struct RecordingTimeline {
  WorkerStop stop;
  // Recorded time: the wall clock with the recording's pauses cut out. Every
  // sample time is `start_time` subtracted from a time this clock has cut.
  RecordingClock clock;
  std::int64_t start_time = 0;  // Now100ns at the start of the recording
};

}  // namespace morl::recorder
