// AudioTrack: the recording's audio track as its worker (the microphone
// reader or the computer-audio mixer, never both) reports on it.
//
// Threads: the start sets `enabled` and `system_audio` before any worker is
// launched. `samples_written` is changed only by the thread that writes the
// track (the mixer, or the microphone reader's callback); the failure and
// the level meters are safe from any thread, so the status reads them while
// the workers write.
#pragma once

#include <atomic>
#include <cstdint>

#include "recorder/audio/level_meter.h"
#include "recorder/recording_timeline.h"
#include "recorder/sample_writer.h"
#include "recorder/worker_failure.h"

namespace morl::recorder {

struct AudioTrack {
  bool enabled = false;       // the file has an audio track
  bool system_audio = false;  // computer audio (microphone mixed in), else microphone alone
  std::atomic<std::int64_t> samples_written{0};
  WorkerFailure failure{"audio"};
  // The peaks of the microphone and of the computer audio, for the status.
  LevelMeter mic_level;
  LevelMeter system_audio_level;
};

// What an audio worker works with: the time line it follows, the writer its
// samples go to and the track it reports on.
struct AudioWork {
  const RecordingTimeline& timeline;
  TrackWriter& writer;
  AudioTrack& track;
};

}  // namespace morl::recorder
