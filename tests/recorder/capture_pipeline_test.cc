// The capture pipeline's value types without an endpoint: packets placed on
// the recording's clock and read back at 48 kHz. Every captured frame holds
// the time it was sampled (seconds), so a rendered frame says where it
// belongs and a zero is silence.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "recorder/audio/packet_placement.h"
#include "recorder/audio/sample_queue.h"
#include "recorder/audio/stereo_resampler.h"
#include "recorder/recording_clock.h"

using namespace morl::recorder;

namespace {

constexpr std::int64_t kMs = 10'000;  // 100-ns ticks

// The value types as a source holds them, fed a device at `rate`.
struct Pipeline {
  explicit Pipeline(std::uint32_t input_rate) : rate(input_rate) { resampler.SetInputRate(rate); }

  // Queues `frames` frames from device position `device`, sampled from
  // `qpc` on; each frame's value is its sampling time.
  PacketPlacement::Kept Add(std::int64_t device, std::int64_t frames, std::int64_t qpc,
                            bool discontinuity = false, const RecordingClock* clock = nullptr) {
    const PacketPlacement::Kept kept =
        placement.Admit({frames, device, qpc, discontinuity}, rate, clock, samples, resampler);
    for (std::int64_t i = kept.skip; i < kept.skip + kept.keep; ++i) {
      const auto value =
          static_cast<float>(static_cast<double>(qpc) / 1e7 + static_cast<double>(i) / rate);
      samples.push_back(value);
      samples.push_back(value);
    }
    return kept;
  }
  bool Render(std::int64_t frame, float& left, float& right) {
    return placement.Align(resampler, frame, 0) && resampler.Pull(samples, left, right);
  }
  // Output frame at which queued frame `index` plays.
  double PlaysAt(double index) const {
    return placement.OutputFrameOf(index, 0, resampler.base_step());
  }

  std::uint32_t rate;
  SampleQueue samples;
  PacketPlacement placement;
  StereoResampler resampler;
};

// One second of input in packets of an odd size: the output holds one
// second at 48 kHz, every frame of it from the input at the same time, across
// every packet boundary.
TEST(CapturePipeline, RateConversionKeepsDurationAndContinuityAcrossPackets) {
  for (const std::uint32_t rate : {8000u, 44100u, 48000u, 96000u}) {
    SCOPED_TRACE(rate);
    Pipeline pipeline(rate);
    const std::int64_t packet = rate / 137 + 1;
    for (std::int64_t device = 0; device < rate; device += packet) {
      pipeline.Add(device, packet, device * 10'000'000 / rate);
    }
    const auto last_input = static_cast<double>(pipeline.samples.size() / 2 - 1);
    std::int64_t rendered = 0;
    double worst = 0.0;
    float left = 0.0f, right = 0.0f;
    for (; pipeline.Render(rendered, left, right); ++rendered) {
      worst = std::max(worst, std::abs(left - rendered / 48000.0));
      pipeline.placement.FrontDropped(pipeline.resampler.Consume(pipeline.samples));
    }
    EXPECT_LT(worst, 1e-6);
    EXPECT_NEAR(rendered, last_input / rate * 48000.0, 1.0);
  }
}

std::int64_t paused_now = 0;
std::int64_t PausedNow() { return paused_now; }

// 1 kHz in 10-frame (10 ms) packets: what was captured in the pause is not
// queued, and the device positions and times after it are cut by as much,
// so the audio after the resume follows the audio before it.
TEST(CapturePipeline, PauseCutsDeviceFrames) {
  struct Case {
    std::int64_t pause_ms, resume_ms;
    std::vector<std::int64_t> skip, keep;  // of each packet
    std::int64_t last_device, last_qpc_ms;    // the anchor, cut
  } cases[] = {
      {25, 60, {0, 0, 0, 0, 0, 0, 0}, {10, 10, 5, 0, 0, 0, 10}, 25, 25},
      {30, 45, {0, 0, 0, 0, 5, 0}, {10, 10, 10, 0, 5, 10}, 35, 35},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pause_ms);
    RecordingClock clock(PausedNow);
    paused_now = 0;
    clock.Start();
    paused_now = c.pause_ms * kMs;
    clock.Pause();
    paused_now = c.resume_ms * kMs;
    clock.Resume();
    Pipeline pipeline(1000);
    std::int64_t queued = 0;
    for (std::size_t k = 0; k < c.keep.size(); ++k) {
      const auto device = static_cast<std::int64_t>(10 * k);
      const PacketPlacement::Kept kept = pipeline.Add(device, 10, device * kMs, false, &clock);
      if (c.keep[k] != 0) {
        EXPECT_EQ(kept.skip, c.skip[k]) << k;
      }
      EXPECT_EQ(kept.keep, c.keep[k]) << k;
      queued += c.keep[k];
    }
    EXPECT_EQ(pipeline.samples.size(), static_cast<std::size_t>(2 * queued));  // no silence
    EXPECT_EQ(pipeline.placement.queue_device(), 0);
    EXPECT_EQ(pipeline.placement.anchor_device(), c.last_device);
    EXPECT_EQ(pipeline.placement.anchor_qpc(), c.last_qpc_ms * kMs);
  }
}

// After 100 ms at 1 kHz, a packet that does not follow on: a short gap is
// filled with silence, a long or backward one restarts the queue; either
// way the packet plays at its own time.
TEST(CapturePipeline, DiscontinuityReAnchors) {
  struct Case {
    const char* name;
    std::int64_t device, qpc_ms;
    bool discontinuity;
    std::int64_t start;  // queued frame index of the packet's first frame
  } cases[] = {
      {"follows on", 100, 100, false, 100},
      {"flagged gap", 150, 150, true, 150},
      {"time disagrees with position", 100, 400, false, 400},
      {"longer than a second", 100, 1300, true, 0},
      {"backward", 50, 50, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pipeline pipeline(1000);
    pipeline.Add(0, 100, 0);
    pipeline.Add(c.device, 10, c.qpc_ms * kMs, c.discontinuity);
    ASSERT_EQ(pipeline.samples.size(), static_cast<std::size_t>(2 * (c.start + 10)));
    for (std::int64_t i = c.start == 0 ? 0 : 100; i < c.start; ++i) {
      EXPECT_EQ(pipeline.samples[static_cast<std::size_t>(2 * i)], 0.0f) << i;
    }
    EXPECT_NEAR(pipeline.PlaysAt(static_cast<double>(c.start)), c.qpc_ms * 48.0, 1e-6);
  }
}

}  // namespace
