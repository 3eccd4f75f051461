// Starting and stopping a recording: the two operations that change the
// recorder's state. Both run on one thread at a time, inside a COM apartment:
// the recorder channel's start/stop worker, or the caller's thread for the
// recorder's own Start and Stop.
//
// A start (Recording::Start) brings up Media Foundation, creates the MP4 sink
// writer for the options' `path`, declares the video stream and the audio
// track (when a source can be opened), begins writing and launches the
// workers. A failure undoes everything and leaves the recorder idle; the
// error then says why. Audio problems never fail a start: the report carries
// them.
//
// The file is written as PartialRecordingPath(path) and moved over `path`
// only once it is finalised: a failed start or finalise removes it and leaves
// whatever was at `path` untouched. The first frame is written before the
// start returns, so every recording has at least one. Before anything is
// written the start checks `path` (CheckTarget) and moves aside a file an
// earlier recording left at the partial path (RecoverEarlierRecording), so a
// start never writes over something recorded. Moves and deletes wait out a
// file that something else holds for a moment (MoveFileRetrying).
//
// `fragmented` writes fragmented MP4 with a key frame at least every two
// seconds: each fragment is on disk once the next key frame is encoded, so a
// killed process leaves a playable file at the partial path that misses at
// most the last fragment. When such a recording cannot be finalised (a full
// disk), the partial file is kept rather than removed, and the stop message
// names it.
//
// A stop (Recording::Finish) stops and joins the workers and finalises the
// file; once the recording is destroyed, MoveIntoPlace moves the file into
// place and completes the statistics. A worker that failed or dropped frames
// leaves its text in videoError or audioError.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "recorder/recorder_error.h"
#include "recorder/start_options.h"

namespace morl::recorder {

// How worker threads are launched: the thread runs `work`, a worker with the
// parts of the recording it is given. A launch may throw (for example
// std::system_error when the system has no thread to give); the start then
// undoes itself and fails with "start_failed". Tests replace the launcher;
// null means std::thread.
using WorkerLauncher = std::thread (*)(std::function<void()> work);

// What a started recording records: whether it has an audio track, and why a
// source it could not open is missing (UTF-8, empty when nothing is).
struct StartReport {
  bool audio = false;
  std::string mic_error;
  std::string system_audio_error;
  std::string recovered;  // where an earlier recording's file was moved aside
};

// A finished recording. `durationMs` is the video's recorded time, `bytes`
// the file's size; the error texts are empty when the worker had none.
struct StopStatistics {
  std::wstring path;  // UTF-16, where the file is
  std::int64_t duration_ms = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int64_t frames = 0;
  std::int64_t bytes = 0;
  bool had_audio = false;
  std::string video_error;
  std::string audio_error;
};

// What a finished recording leaves for the move into place.
struct FinishedRecording {
  HRESULT finalized = S_OK;  // the sink writer's Finalize
  std::wstring partial_path;  // UTF-16, the file written
  bool fragmented = false;
  StopStatistics stats;  // all but the file's size
};

// Moves a finished recording's file over its target, or says why it could
// not be finished; the statistics then carry the file's size.
Result<StopStatistics> MoveIntoPlace(FinishedRecording finished);

// Where a recording for `path` is written until it is finished: `path`
// followed by ".partial" and the extension of `path` ("rec.mp4" is written as
// "rec.mp4.partial.mp4"), in the same folder so the final move is a rename,
// and with the same extension so the writer picks the same container (or
// refuses the same unknown one).
std::wstring PartialRecordingPath(const std::wstring& path);

}  // namespace morl::recorder
