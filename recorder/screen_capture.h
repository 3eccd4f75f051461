// The video worker: captures the primary display with its cursor about 15
// times a second and writes each frame to the recording's H.264 stream until
// the session's stop is signalled. Started after BeginWriting and startTime;
// joined by the stop. When the start already wrote the first frame (with the
// session's grabber), the worker waits one frame interval before the next.
// A frame that cannot be written is dropped and counted; the first failure
// goes to the session's videoFailure.
#pragma once

#include "recorder/recording_session.h"

namespace morl::recorder {

void RunScreenCapture(RecordingSession& session);

// Captures one frame with `grabber`, scales it when the session has a
// scaler, and writes it; returns the failure with the failing call's name.
HRESULT WriteCapturedFrame(RecordingSession& session, ScreenGrabber& grabber,
                           const char** failedCall);

// The screen grabber of the session's capture size.
std::unique_ptr<ScreenGrabber> MakeGrabber(const RecordingSession& session);

// Captures one frame with `grabber` and writes it; a failure is recorded in
// videoFailure and the frame counted as dropped. While the writer holds a few
// frames it has not encoded yet, the frame is dropped (and counted) without
// being captured.
void CaptureFrame(RecordingSession& session, ScreenGrabber& grabber);

}  // namespace morl::recorder
