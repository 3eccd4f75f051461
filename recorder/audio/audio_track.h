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

// How far the audio track may lag the recording's clock, in 100-ns ticks: a
// tenth of a second. The media sink holds the video back until the audio has
// been written up to it, so this is also how long video may wait in the
// sink. Devices that deliver in bursts (wireless headsets, some USB
// interfaces) stay well within it; for a device that stalls longer, or went
// away, or never delivered, silence is written from then on, and what it
// delivers late for time already written is dropped.
inline constexpr std::int64_t kLongestAudioLag = 1'000'000;

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
