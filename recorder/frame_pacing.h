// Pacing of the video worker: one frame per interval on a schedule that
// restarts from the present whenever a frame ran late, so lost time is never
// made up by a burst of frames.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

namespace morl::recorder {

// Advances `next` (the scheduled time of the coming frame, 100-ns) by one
// frame interval. Returns how long to sleep until then in whole milliseconds
// (0 when less than one is left), or nothing when `now` is already at or past
// it; `next` then restarts at `now` and the coming frame is captured at once.
std::optional<DWORD> NextFramePause(std::int64_t& next, std::int64_t now);

}  // namespace morl::recorder
