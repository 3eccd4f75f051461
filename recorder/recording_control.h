// Starting and stopping a recording: the two operations that change the
// recorder's state. Both run on the platform thread, one call at a time.
//
// StartRecording brings up Media Foundation, creates the MP4 sink writer for
// the options' `path`, declares the video stream and the audio track (when a source can
// be opened), begins writing and launches the workers. A failure undoes
// everything and leaves the recorder idle; `code` and `message` then say why.
// Audio problems never fail a start: they are left in the session's
// `micError` and `systemAudioError`.
//
// The file is written as PartialRecordingPath(path) and moved over `path`
// only once it is finalised: a failed start or finalise removes it and leaves
// whatever was at `path` untouched. The first frame is written before the
// start returns, so every recording has at least one.
//
// `fragmented` writes fragmented MP4 with a key frame at least every two
// seconds: each fragment is on disk once the next key frame is encoded, so a
// killed process leaves a playable file at the partial path that misses at
// most the last fragment. When such a recording cannot be finalised (a full
// disk), the partial file is kept rather than removed, and the stop message
// names it.
//
// StopRecording stops and joins the workers, finalises the file, moves it into
// place, releases everything and fills `stats` ("path", "durationMs",
// "width", "height", "frames", "bytes", "hadAudio"; "hadAudio" only when the
// file has audio). A worker that failed or dropped frames adds "videoError"
// or "audioError".
//
// Both work on the `session` of one Recorder, which calls them.
#pragma once

#include <windows.h>

#include <string>
#include <thread>

#include "messaging/encodable_value.h"
#include "recorder/start_options.h"

namespace morl::recorder {

struct RecordingSession;

// How worker threads are launched. A launch may throw (for example
// std::system_error when the system has no thread to give); the start then
// undoes itself and fails with "start_failed". Tests replace the launcher;
// null means std::thread.
using WorkerLauncher = std::thread (*)(void (*worker)(RecordingSession&),
                                       RecordingSession& session);

HRESULT StartRecording(RecordingSession& session, WorkerLauncher launcher,
                       const StartOptions& options, std::string& code, std::string& message);
HRESULT StopRecording(RecordingSession& session, std::string& code, std::string& message,
                      flutter::ValueMap& stats);

// Where a recording for `path` is written until it is finished: `path`
// followed by ".partial" and the extension of `path` ("rec.mp4" is written as
// "rec.mp4.partial.mp4"), in the same folder so the final move is a rename,
// and with the same extension so the writer picks the same container (or
// refuses the same unknown one).
std::wstring PartialRecordingPath(const std::wstring& path);

}  // namespace morl::recorder
