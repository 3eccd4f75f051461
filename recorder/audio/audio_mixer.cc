#include "recorder/audio/audio_mixer.h"

#include <algorithm>

#include "recorder/media_time.h"
#include "recorder/now_100ns.h"
#include "recorder/sample_writer.h"
#include "win32_support/com_apartment.h"

namespace morl::recorder {

namespace {

constexpr std::int64_t kOutputRate = kMixRate;
constexpr std::int64_t kLargestBlock = kOutputRate;  // one second
constexpr DWORD kPauseAfterBlockMs = 10;
constexpr DWORD kPauseWhenIdleMs = 5;

}  // namespace

std::int16_t MixToPcm16(float sum) {
  const double clamped = std::min(1.0, std::max(-1.0, static_cast<double>(sum)));
  return static_cast<std::int16_t>(clamped * 32767.0);
}

AudioMixer::AudioMixer(const AudioWork& work, ComputerAudioCaptures& captures)
    : work_(work),
      captures_(captures),
      loopback_follower_(captures.loopback, work.track.failure, "system audio device lost",
                         &keep_alive_),
      mic_follower_(captures.mic, work.track.failure, "mic device lost") {}

DWORD AudioMixer::Step(const std::function<std::int64_t()>& clock, bool to_the_clock) {
  MixSource& loopback = captures_.loopback;
  MixSource& mic = captures_.mic;
  const std::int64_t origin = work_.timeline.start_time;
  // A source's wait counts from before its drain: whatever it had delivered
  // by then is drained, however long the drains and the rest of the step
  // take; what comes after that is unknown to this step.
  const std::int64_t drained = TicksToFrames(clock() - origin, kOutputRate);
  loopback.Drain(&work_.timeline.clock, &work_.track.system_audio_level);
  if (mic.endpoint.active()) mic.Drain(&work_.timeline.clock, &work_.track.mic_level);
  const std::int64_t step_time = Now100ns();
  loopback_follower_.Step(step_time);
  mic_follower_.Step(step_time);
  keep_alive_.TopUp();

  const std::int64_t now = TicksToFrames(clock() - origin, kOutputRate);
  std::int64_t target = now;
  if (!to_the_clock) {
    // Wait for what every active source has delivered, so a late packet
    // still lands where it belongs, but never longer than the longest wait.
    for (const MixSource* source : {&loopback, &mic}) {
      if (!source->endpoint.active()) continue;
      target = std::min(target, source->CoveredUntil(origin, written_));
    }
    target = std::max(target, std::min(now, drained) - kMixerLongestWait);
  }
  const std::int64_t due = target - written_;
  if (due <= 0) return kPauseWhenIdleMs;
  const std::int64_t count = std::min(due, kLargestBlock);
  block_.resize(static_cast<std::size_t>(2 * count));
  for (std::int64_t i = 0; i < count; ++i) {
    // A source with nothing for this frame contributes silence.
    const std::int64_t frame = written_ + i;
    float left = 0.0f, right = 0.0f;
    loopback.Render(frame, origin, left, right);
    float mic_left = 0.0f, mic_right = 0.0f;
    if (mic.endpoint.active()) mic.Render(frame, origin, mic_left, mic_right);
    block_[static_cast<std::size_t>(2 * i)] = MixToPcm16(mic_left + left);
    block_[static_cast<std::size_t>(2 * i + 1)] = MixToPcm16(mic_right + right);
  }
  loopback.Consume();
  if (mic.endpoint.active()) mic.Consume();

  WriteBlock(count);
  // Advancing even when the block could not be written leaves a gap in the
  // track instead of shifting everything after it.
  written_ += count;
  return kPauseAfterBlockMs;
}

void AudioMixer::WriteBlock(std::int64_t count) {
  // Times come from the running frame count, so truncation never accumulates.
  const Status written = work_.writer.WriteAudio(block_.data(), static_cast<DWORD>(count * 4),
                                                 FramesToTicks(written_, kOutputRate),
                                                 FramesToTicks(count, kOutputRate));
  if (!written.ok()) return work_.track.failure.Record(written.error());
  work_.track.samples_written.fetch_add(1);
}

void RunMixedAudio(const AudioWork& work, ComputerAudioCaptures& captures) {
  const ComApartment apartment(COINIT_MULTITHREADED);
  AudioMixer mixer(work, captures);
  // The track follows recorded time: it stands still while paused.
  const RecordingTimeline& timeline = work.timeline;
  const std::function<std::int64_t()> clock = [&timeline] {
    return timeline.clock.Cut(Now100ns());
  };
  while (!timeline.stop.WaitFor(mixer.Step(clock))) {
  }
  // The track runs to the moment of the stop, like the video.
  mixer.Step(clock, true);
}

}  // namespace morl::recorder
