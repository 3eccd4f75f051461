// The microphone reader: reads the microphone in the source reader's asynchronous
// mode, so that nothing ever blocks on the device. The reader's own thread
// calls OnReadSample with each buffer; the buffer is placed on the
// recording's timeline, written to the AAC stream and the next one asked for.
// Stop marks the reader stopped, flushes the source reader and waits a
// bounded time for OnFlush: a device that never delivers cannot hold the
// stop. After Stop no callback touches the session any more.
//
// Read failures are retried a few times in a row (a device may hiccup); one
// more, or a device that went away, and the microphone counts as lost: the
// failure goes to the session's audioFailure and no more reads are asked for
// until the follower (RunMicrophoneFollower) switches to a new reader.
#pragma once

#include <windows.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include "recorder/recording_session.h"

namespace morl::recorder {

// Makes the reader's callback, to be given to the source reader as
// MF_SOURCE_READER_ASYNC_CALLBACK and kept in the session's `micCallback`.
ComRef<IMFSourceReaderCallback> MakeMicrophoneReader(RecordingSession& session);

// Asks the session's `micReader` for the first buffer.
HRESULT StartMicrophoneReader(RecordingSession& session);
// Ends the reads of the session's microphone; harmless when none runs.
void StopMicrophoneReader(RecordingSession& session);
// Reads from `reader` instead of the session's `micReader` from now on.
HRESULT SwitchMicrophoneReader(RecordingSession& session, ComRef<IMFSourceReader> reader);
// Why the session's microphone stopped delivering, or S_OK.
HRESULT MicrophoneLost(const RecordingSession& session);

// Thread entry, microphone alone: keeps the recording on the microphone it
// belongs on while devices change (the default one, or the one chosen when
// it returns), until the session's stop.
void RunMicrophoneFollower(RecordingSession& session);

}  // namespace morl::recorder
