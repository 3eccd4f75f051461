// Pausing and resuming a recording, and its status while it runs. All three
// run on the platform thread, like the start and the stop, so none of them
// races with those; the workers follow the time line's clock.
//
// PauseRecording stops capture: the video worker takes no frame and the audio
// captured from now on is dropped, not queued. ResumeRecording continues the
// recording right after what preceded the pause, on the same time line: the
// file has no gap and its duration counts recorded time only. A paused
// recording stops and finalises like any other. Refusals: "already_paused",
// "not_paused" ("not_recording" comes from the Recorder, when idle).
//
// RecordingStatus reads only atomics, the clock, the workers' failures and
// the size of the file being written; it never waits for the writer or a
// worker. An idle recorder's status is the default one: false, false, zeros,
// no levels and no capture method or encoder. Its videoError and audioError
// are the texts the stop reply would carry at that moment, so a failure shows
// as soon as it happens: the status checks the recording's SourceWatch
// before it reads them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "recorder/recorder_error.h"
#include "recorder/recording_clock.h"
#include "recorder/recording_timeline.h"
#include "recorder/source_watch.h"
#include "recorder/video/video_track.h"

namespace morl::recorder {

struct RecorderStatus {
  bool recording = false;
  bool paused = false;
  std::int64_t elapsed_ms = 0;  // recorded time
  std::int64_t frames = 0;     // frames written
  std::int64_t bytes = 0;      // the file's size so far, 0 when it cannot be read
  // How the video is captured and which encoder took it; only while recording.
  std::optional<CaptureMethod> capture;
  std::optional<VideoEncoderKind> encoder;
  // The source's peak sample over the last 100 ms, 0.0 to 1.0 (0.0 while
  // paused), only while that source is recorded.
  std::optional<double> mic_level;
  std::optional<double> system_audio_level;
  // The worker failures as the stop reply gives them; empty when none.
  std::string video_error;
  std::string audio_error;
};

Status PauseRecording(RecordingClock& clock);
// Resumes the clock and wakes the video worker.
Status ResumeRecording(RecordingTimeline& timeline);
// The status of a recording on `timeline` whose video is `video` and whose
// audio comes from `audio`, writing `recording_path` (UTF-16).
RecorderStatus RecordingStatus(const RecordingTimeline& timeline, const VideoTrack& video,
                               const AudioSources& audio, SourceWatch& watch,
                               const std::wstring& recording_path);

}  // namespace morl::recorder
