// The video worker: captures the recorded display (or region) with its cursor
// at the recording's frame rate and writes each frame to the recording's H.264 stream until
// the session's stop is signalled. Started after BeginWriting and startTime;
// joined by the stop. When the start already wrote the first frame (with the
// session's grabber), the worker waits one frame interval before the next.
// A frame that cannot be written is dropped and counted; the first failure
// goes to the session's videoFailure.
//
// Frames follow a schedule of one per interval that restarts from the present
// whenever a frame ran late, so lost time is never made up by a burst of
// frames. While the recording is paused nothing is captured; the schedule
// restarts with a frame at once when it is resumed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "recorder/recording_session.h"
#include "recorder/video/video_stream.h"

namespace morl::recorder {

void RunScreenCapture(RecordingSession& session);

// Captures one frame with `grabber`, scales it when the session has a
// scaler, and writes it; a failure's message names the failing call. A frame
// grabbed while the recording is paused is not written and not a failure.
Status WriteCapturedFrame(RecordingSession& session, ScreenGrabber& grabber);

// The screen grabber of the session's capture size.
std::unique_ptr<ScreenGrabber> MakeGrabber(const RecordingSession& session);

// Captures one frame with `grabber` and writes it; a failure is recorded in
// videoFailure and the frame counted as dropped. While the writer holds a few
// frames it has not encoded yet, the frame is dropped (and counted) without
// being captured.
void CaptureFrame(RecordingSession& session, ScreenGrabber& grabber);

// Advances `next` (the scheduled time of the coming frame, 100-ns) by one
// frame `interval`. Returns how long to sleep until then in whole milliseconds
// (0 when less than one is left), or nothing when `now` is already at or past
// it; `next` then restarts at `now` and the coming frame is captured at once.
std::optional<DWORD> NextFramePause(std::int64_t& next, std::int64_t now,
                                    std::int64_t interval = kVideoFrameInterval);

}  // namespace morl::recorder
