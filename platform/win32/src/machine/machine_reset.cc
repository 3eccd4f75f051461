#include "machine/machine_areas.h"
#include "winsim.h"

namespace winsim {
namespace {

using ResetArea = void (*)();

constexpr ResetArea kAreaResets[] = {
    // The timeline first: nothing may change the machine while it is reset.
    ResetTimelineArea,
    ResetScreenArea,
    ResetCursorArea,
    ResetClockArea,
    ResetTimerArea,
    ResetFileArea,
    ResetDesktopArea,
    // Audio area reset here.
    ResetAudioArea,

    // Host area reset here.
    ResetHostArea,

    // Sink writer area reset here.
    ResetSinkWriters,

    // Graphics area reset here.
    ResetGpuArea,
    ResetCostsArea,

    // Windowing area reset here.
    ResetWindowingArea,
};

}  // namespace

void ResetMachine() {
  // A machine file named in the environment is read once per process and
  // must not be applied later over what the caller is about to set.
  LoadMachineFromEnvironment();
  ClearFailures();
  ResetCallCounts();
  for (ResetArea reset : kAreaResets) reset();
}

}  // namespace winsim
