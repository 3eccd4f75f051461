// Hands one captured frame to the sink writer as a video sample.
#pragma once

#include <windows.h>

#include <cstdint>

#include "recorder/recorder_error.h"
#include "recorder/recording_session.h"

namespace morl::recorder {

// Copies `frame` (`bytes` long) into a new media buffer and sample timed
// at `now` on the recording's clock (paused time cut out, less
// session.startTime), lasting the session's frame interval, and writes it to the
// video stream under the writer's mutex. When the writer accepts it, framesWritten
// grows by one and videoEndTime becomes the sample's end. Any failure drops
// the frame and is returned, its message naming the failing call; the
// counters then stay as they were.
Status WriteVideoFrame(RecordingSession& session, const BYTE* frame, DWORD bytes, std::int64_t now);

}  // namespace morl::recorder
