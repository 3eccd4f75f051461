// SourceWatch finds what no failing call reports: a recorded microphone
// that has delivered nothing for kMicSilenceLimit of recorded time is an
// audio condition, "microphone delivered nothing for N ms" with the longest
// such time. The video worker checks with every frame, the status and the
// stop before they read the failures; Check is safe from any thread.
#pragma once

#include <cstdint>
#include <mutex>

#include "recorder/recording_timeline.h"
#include "recorder/worker_failure.h"

namespace morl::recorder {

struct AudioTrack;
struct ComputerAudioCaptures;
struct MicrophoneInput;

inline constexpr std::int64_t kMicSilenceLimit = 20'000'000;  // 2 s

// Which sources feed a recording's audio track: the microphone alone
// through its reader, or computer audio with the microphone mixed in.
struct AudioSources {
  const AudioTrack& track;
  const MicrophoneInput& microphone;
  const ComputerAudioCaptures& captures;

  bool MicrophoneRecorded() const;
  bool ComputerAudioRecorded() const;
};

class SourceWatch {
 public:
  // Watches `sources` on `timeline`; a condition goes to `failure`, the
  // audio track's.
  SourceWatch(const RecordingTimeline& timeline, AudioSources sources, WorkerFailure& failure)
      : timeline_(timeline), sources_(sources), failure_(failure) {}
  SourceWatch(const SourceWatch&) = delete;
  SourceWatch& operator=(const SourceWatch&) = delete;

  // Looks at the sources at wall time `now`.
  void Check(std::int64_t now);

 private:
  const RecordingTimeline& timeline_;
  AudioSources sources_;
  WorkerFailure& failure_;
  // The longest time, recorded, the recorded microphone delivered nothing,
  // once it reached the limit that makes it a condition.
  std::mutex mutex_;
  std::int64_t longest_ = 0;
};

}  // namespace morl::recorder
