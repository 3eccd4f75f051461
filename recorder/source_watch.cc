#include "recorder/source_watch.h"

#include <algorithm>
#include <string>

#include "recorder/audio/audio_track.h"
#include "recorder/audio/computer_audio.h"
#include "recorder/audio/microphone_reader.h"
#include "recorder/media_time.h"

namespace morl::recorder {

// The reader's callback, not the reader, tells whether the microphone alone
// is recorded: the follower swaps readers on its own thread while the
// callback lasts the whole recording.
bool AudioSources::MicrophoneRecorded() const {
  if (!track.enabled) return false;
  return track.system_audio ? captures.mic.endpoint.active()
                            : static_cast<bool>(microphone.callback);
}

bool AudioSources::ComputerAudioRecorded() const {
  return track.enabled && track.system_audio && captures.loopback.endpoint.active();
}

void SourceWatch::Check(std::int64_t now) {
  if (!sources_.MicrophoneRecorded()) return;
  // Recorded time: a pause is no silence of the microphone.
  const std::int64_t last = std::max(sources_.track.mic_level.LastAdded(), timeline_.start_time);
  const std::int64_t silent = timeline_.clock.Cut(now) - timeline_.clock.Cut(last);
  if (silent < kMicSilenceLimit) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (silent <= longest_) return;
  longest_ = silent;
  failure_.Note("microphone silence", "microphone delivered nothing for " +
                                          std::to_string(TicksToMilliseconds(silent)) + " ms");
}

}  // namespace morl::recorder
