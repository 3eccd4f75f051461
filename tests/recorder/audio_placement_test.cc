// Audio placed on the recording's clock under device conditions, driven by
// exact times. Every captured frame carries the time it was sampled (a ramp:
// 1 + seconds), so each rendered frame says how far it is from where it
// belongs, and a rendered zero is silence.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "recorder/audio/audio_mixer.h"
#include "recorder/audio/mic_aligner.h"
#include "recorder/audio/mix_source.h"

using namespace morl::recorder;

namespace {

constexpr std::int64_t kMs = 10'000;  // 100-ns ticks

struct Condition {
  const char* name;
  std::uint32_t rate;
  double ppm;
  std::int64_t jitter_ms;  // largest extra delay of a packet
  std::int64_t stall_at_ms, stall_ms;
  std::int64_t pause_at_ms, pause_ms;               // loopback: nothing delivered, no gap reported
  std::int64_t expected_silence_ms;                // silence after the first audio, at most
};

const Condition kConditions[] = {
    {"steady", 48000, 0, 0, 0, 0, 0, 0, 0},
    {"fast clock", 48000, 1000, 0, 0, 0, 0, 0, 0},
    {"slow clock 44.1 kHz", 44100, -1000, 0, 0, 0, 0, 0, 0},
    {"jitter", 48000, 0, 30, 0, 0, 0, 0, 0},
    // 300 ms held, of which the 200 ms buffer keeps the last 200 ms. The
    // mixer waits 100 ms, then goes on without the stalled device: of what
    // the buffer kept, what arrives later than that is past.
    {"stall", 48000, 0, 0, 3000, 300, 0, 0, 210},
    // Nothing overwritten: the burst follows on, and what the mixer did not
    // wait for must not shift what comes after it.
    {"short stall", 48000, 0, 0, 3000, 150, 0, 0, 60},
    {"pause", 48000, 0, 0, 0, 0, 4000, 2500, 2510},
    {"everything", 44100, 1000, 30, 3000, 300, 6000, 2500, 2720},
};

// One device packet: its place in the stream, its sampling time and when the
// reader can see it.
struct Packet {
  std::int64_t device;
  std::int64_t qpc;
  std::int64_t available;
  bool discontinuity;
};

std::vector<Packet> Schedule(const Condition& c, std::int64_t origin, std::int64_t end_ms) {
  std::vector<Packet> packets;
  const std::int64_t frames = c.rate / 100;
  const double frame_ticks = 1e7 / (c.rate * (1.0 + c.ppm * 1e-6));
  std::int64_t previous = 0;
  bool lost = false;
  for (std::int64_t k = 0;; ++k) {
    const std::int64_t device = k * frames;
    const auto qpc = origin + static_cast<std::int64_t>(std::llround(device * frame_ticks));
    const auto complete =
        origin + static_cast<std::int64_t>(std::llround((device + frames) * frame_ticks));
    if (complete > origin + end_ms * kMs) break;
    const std::int64_t since_start = complete - origin;
    if (c.pause_ms != 0 && since_start >= c.pause_at_ms * kMs &&
        since_start < (c.pause_at_ms + c.pause_ms) * kMs) {
      continue;  // nothing plays: nothing captured
    }
    std::int64_t available = complete + (k * 7919 % 31) * c.jitter_ms * kMs / 30;
    if (c.stall_ms != 0 && since_start >= c.stall_at_ms * kMs &&
        since_start < (c.stall_at_ms + c.stall_ms) * kMs) {
      available = origin + (c.stall_at_ms + c.stall_ms) * kMs;
      if (available - complete > 200 * kMs) {  // overwritten in the endpoint buffer
        lost = true;
        continue;
      }
    }
    available = std::max(available, previous);
    previous = available;
    packets.push_back({device, qpc, available, lost});
    lost = false;
  }
  return packets;
}

TEST(AudioPlacement, LoopbackAudioPlaysWhereItWasCapturedUnderEveryCondition) {
  for (const Condition& c : kConditions) {
    SCOPED_TRACE(c.name);
    const std::int64_t origin = 777 * kMs;
    const std::int64_t end_ms = 12'000;
    const std::vector<Packet> packets = Schedule(c, origin, end_ms);
    const double frame_seconds = 1.0 / (c.rate * (1.0 + c.ppm * 1e-6));
    MixSource capture;
    capture.resampler.SetInputRate(c.rate);

    std::size_t next = 0;
    std::int64_t written = 0;
    double worst_ms = 0.0;
    std::int64_t silence = 0;
    std::int64_t edges = 0;
    bool heard = false;
    for (std::int64_t now = origin; now <= origin + end_ms * kMs; now += 10 * kMs) {
      for (; next < packets.size() && packets[next].available <= now; ++next) {
        const Packet& p = packets[next];
        capture.placement.Place(capture.samples, capture.resampler, c.rate, p.device, p.qpc,
                                p.discontinuity);
        for (std::int64_t f = 0; f < c.rate / 100; ++f) {
          const auto value = static_cast<float>(1.0 + (p.device + f) * frame_seconds);
          capture.samples.push_back(value);
          capture.samples.push_back(value);
        }
      }
      const std::int64_t now_frame = (now - origin) * 48000 / 10'000'000;
      const std::int64_t target = std::max(
          std::min(now_frame, capture.CoveredUntil(origin, written)), now_frame - kMixerLongestWait);
      for (; written < target; ++written) {
        float left = 0.0f, right = 0.0f;
        capture.Render(written, origin, left, right);
        if (left == 0.0f) {
          silence += heard ? 1 : 0;
          continue;
        }
        heard = true;
        const double e = std::abs(left - 1.0 - written / 48000.0) * 1000.0;
        // A frame at the edge of inserted silence mixes audio and silence.
        if (e > 3.0) ++edges;
        if (e <= 3.0) worst_ms = std::max(worst_ms, e);
      }
      capture.Consume();
    }
    EXPECT_TRUE(heard);
    EXPECT_LE(worst_ms, 3.0);
    EXPECT_LE(edges, c.expected_silence_ms == 0 ? 0 : 4);
    EXPECT_LE(silence, c.expected_silence_ms * 48);
    EXPECT_GE(written, (end_ms - 500) * 48);
  }
}

TEST(AudioPlacement, MicrophoneTrackStaysOnTheClockAndContiguous) {
  for (const Condition& c : kConditions) {
    if (c.pause_ms != 0) continue;  // a microphone always delivers
    SCOPED_TRACE(c.name);
    const std::vector<Packet> packets = Schedule(c, 0, 12'000);
    const double frame_seconds = 1.0 / (c.rate * (1.0 + c.ppm * 1e-6));
    const std::int64_t frames = c.rate / 100;
    MicAligner aligner(c.rate, 1);
    std::vector<std::int16_t> track;
    std::vector<std::int16_t> pcm(static_cast<std::size_t>(frames));
    for (const Packet& p : packets) {
      // 1000 + milliseconds: the ramp stays inside 16 bits for the run.
      for (std::int64_t f = 0; f < frames; ++f) {
        pcm[static_cast<std::size_t>(f)] =
            static_cast<std::int16_t>(std::lround(1000.0 + (p.device + f) * frame_seconds * 1000.0));
      }
      const std::int64_t before = static_cast<std::int64_t>(track.size());
      aligner.Add(pcm.data(), pcm.size(), p.qpc, track);
      ASSERT_EQ(aligner.written() - before, static_cast<std::int64_t>(track.size()) - before);
    }
    // The track starts where the first buffer belongs and has no holes.
    const std::int64_t first = std::llround(packets.front().qpc * c.rate / 1e7);
    ASSERT_EQ(aligner.written(), first + static_cast<std::int64_t>(track.size()));
    double worst_ms = 0.0;
    std::int64_t silence = 0;
    for (std::size_t i = 0; i < track.size(); ++i) {
      if (track[i] == 0) {
        ++silence;
        continue;
      }
      const double at = static_cast<double>(first + static_cast<std::int64_t>(i)) / c.rate;
      worst_ms = std::max(worst_ms, std::abs(track[i] - 1000.0 - at * 1000.0));
    }
    EXPECT_LE(worst_ms, 3.0);
    EXPECT_LE(silence, c.expected_silence_ms * c.rate / 1000);
  }
}

TEST(AudioPlacement, MicrophoneBufferAlreadyPastIsDroppedAndTheNextFollowsOn) {
  MicAligner aligner(48000, 1);
  std::vector<std::int16_t> track;
  const std::vector<std::int16_t> pcm(480, 5);
  for (std::int64_t k = 0; k < 5; ++k) aligner.Add(pcm.data(), pcm.size(), k * 10 * kMs, track);
  const std::int64_t written = aligner.written();
  // The first 10 ms again: its time has passed, nothing is added.
  aligner.Add(pcm.data(), pcm.size(), 0, track);
  EXPECT_EQ(aligner.written(), written);
  // The next buffer in line continues the track without a hole.
  aligner.Add(pcm.data(), pcm.size(), 50 * kMs, track);
  EXPECT_EQ(aligner.written(), written + 480);
  EXPECT_EQ(std::count(track.begin(), track.end(), std::int16_t{0}), 0);
}

// Silence written while the device delivered nothing (a stall): the late
// buffers lose what the silence covered, the first one not wholly past lands
// at its own time, and a track that begins with silence begins at time 0.
TEST(AudioPlacement, MicrophoneSilenceForAStallIsNotShiftedByTheLateBuffers) {
  MicAligner aligner(48000, 1);
  std::vector<std::int16_t> track;
  aligner.FillTo(4800, track);  // 100 ms
  ASSERT_EQ(track.size(), 4800u);
  // The device's 20-ms buffers from its start, all arriving after the
  // silence: those of the first 100 ms add nothing, the rest follow on.
  const std::vector<std::int16_t> pcm(960, 5);
  for (std::int64_t k = 0; k < 8; ++k) aligner.Add(pcm.data(), pcm.size(), k * 20 * kMs, track);
  EXPECT_GE(aligner.written(), 7679);
  EXPECT_LE(aligner.written(), 7680);
  EXPECT_EQ(static_cast<std::int64_t>(track.size()), aligner.written());
  EXPECT_EQ(std::count(track.begin(), track.begin() + 4800, std::int16_t{0}), 4800);
  EXPECT_EQ(std::count(track.begin() + 4800, track.end(), std::int16_t{0}), 0);
  // Silence up to where the track already is adds nothing.
  const std::size_t size = track.size();
  aligner.FillTo(4800, track);
  EXPECT_EQ(track.size(), size);
}

}  // namespace
