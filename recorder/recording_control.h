// Starting and stopping a recording: the two operations that change the
// recorder's state. Both run on the platform thread, one call at a time.
//
// StartRecording brings up Media Foundation, creates the MP4 sink writer for
// `path`, declares the video stream and the audio track (when a source can
// be opened), begins writing and launches the workers. A failure undoes
// everything and leaves the recorder idle; `code` and `message` then say why.
// Audio problems never fail a start: they are left in the session's
// `micError` and `systemAudioError`.
//
// StopRecording stops and joins the workers, finalises the file, releases
// everything and fills `stats` ("path", "durationMs", "width", "height",
// "frames", "bytes", "hadAudio").
//
// A recording still running when the process exits is stopped the same way
// before the session is destroyed, so the file is complete.
#pragma once

#include <windows.h>

#include <string>
#include <thread>

#include "messaging/encodable_value.h"

struct RecordingSession;

HRESULT StartRecording(const std::wstring& path, bool systemAudio, std::string& code,
                       std::string& message);
HRESULT StopRecording(std::string& code, std::string& message, flutter::ValueMap& stats);

// How worker threads are launched. A launch may throw (for example
// std::system_error when the system has no thread to give); the start then
// undoes itself and fails with "start_failed". Tests replace the launcher;
// null restores std::thread.
using WorkerLauncher = std::thread (*)(void (*worker)(RecordingSession&),
                                       RecordingSession& session);
void SetWorkerLauncher(WorkerLauncher launcher);
