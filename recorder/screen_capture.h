// The video worker: captures the primary display with its cursor about 15
// times a second and writes each frame to the recording's H.264 stream until
// stopRequested is set. Started after BeginWriting and startTime; joined by
// the stop. It reports nothing: a bitmap that cannot be created ends it
// without frames, and a frame that cannot be written is dropped.
#pragma once

#include "recorder/recording_session.h"

void RunScreenCapture(RecordingSession& session);
