// The computer-audio worker: drains the loopback and microphone captures,
// resamples both to 48 kHz stereo, sums them and writes 16-bit PCM blocks to
// the AAC stream. The output follows the recorder clock, not the devices:
// each source's audio plays at the output frame its capture time gives it.
// A step writes up to the time every active source has delivered audio for,
// but never lags the clock at its drain by more than kMixerLongestWait (at
// most one second more per step); a source with nothing by then counts as
// silent there.
// A loopback delivers nothing while the computer is quiet; a RenderKeepAlive
// plays silence on its endpoint so that it delivers silent packets then, and
// only a stalled device makes the mix wait.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "recorder/audio/audio_track.h"
#include "recorder/audio/computer_audio.h"
#include "recorder/audio/endpoint_follower.h"
#include "recorder/audio/render_keep_alive.h"
#include "recorder/media_time.h"

namespace morl::recorder {

// How far the output may lag the clock while waiting for a source's late
// packets, in output frames (see kLongestAudioLag).
constexpr std::int64_t kMixerLongestWait = TicksToFrames(kLongestAudioLag, kMixRate);

// One mixed sample: plain sum, hard-clipped to full scale, truncated.
std::int16_t MixToPcm16(float sum);

class AudioMixer {
 public:
  // Mixes `captures` into `work`'s track. Follows the captures from the
  // calling thread (see EndpointFollower): a device switch or loss moves
  // them while mixing.
  AudioMixer(const AudioWork& work, ComputerAudioCaptures& captures);

  // Drains both captures (dropping what was captured while paused), then
  // reads `clock` (the clock of the time line's `start_time`, paused time
  // cut out) and mixes and writes whatever is due by then, so the block
  // also covers the time the drain took. Returns how long to sleep before
  // the next step, in milliseconds. `to_the_clock` writes all the way to the
  // clock without waiting for late packets (the last step, at the stop).
  DWORD Step(const std::function<std::int64_t()>& clock, bool to_the_clock = false);

  // Output frames produced so far: the track's clock.
  std::int64_t written() const { return written_; }

 private:
  void WriteBlock(std::int64_t count);

  AudioWork work_;
  ComputerAudioCaptures& captures_;
  RenderKeepAlive keep_alive_;  // before the follower that moves it
  EndpointFollower loopback_follower_;
  EndpointFollower mic_follower_;
  std::int64_t written_ = 0;
  std::vector<std::int16_t> block_;
};

// Thread entry of the audio worker when computer audio was set up; returns
// as soon as the time line's stop is signalled, after mixing what is due by
// then.
void RunMixedAudio(const AudioWork& work, ComputerAudioCaptures& captures);

}  // namespace morl::recorder
