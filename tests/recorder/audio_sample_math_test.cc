// The arithmetic of the computer-audio path: which mix formats are read,
// linear-interpolation pulls and their consumption, and the clipped 16-bit
// mix.
#include <gtest/gtest.h>

#include <ksmedia.h>

#include <algorithm>
#include <cstdint>
#include <deque>

#include "recorder/audio/audio_mixer.h"
#include "recorder/audio/mix_format.h"
#include "recorder/audio/sample_queue.h"
#include "recorder/audio/stereo_resampler.h"

using namespace morl::recorder;

namespace {

WAVEFORMATEXTENSIBLE Format(WORD tag, WORD bits, const GUID& sub = GUID{}) {
  WAVEFORMATEXTENSIBLE f{};
  f.Format.wFormatTag = tag;
  f.Format.nChannels = 2;
  f.Format.nSamplesPerSec = 48000;
  f.Format.wBitsPerSample = bits;
  f.Format.cbSize = tag == WAVE_FORMAT_EXTENSIBLE ? 22 : 0;
  f.SubFormat = sub;
  return f;
}

TEST(MixFormat, AcceptsFloatAnd16Or32BitIntegerOnly) {
  const GUID kFloat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
  const GUID kPcm = KSDATAFORMAT_SUBTYPE_PCM;
  struct Case {
    WORD tag;
    WORD bits;
    GUID sub;
    bool accepted;
    bool is_float;
    UINT32 bytes;
  } cases[] = {
      {WAVE_FORMAT_IEEE_FLOAT, 32, {}, true, true, 4},
      {WAVE_FORMAT_EXTENSIBLE, 32, kFloat, true, true, 4},
      {WAVE_FORMAT_PCM, 16, {}, true, false, 2},
      {WAVE_FORMAT_PCM, 32, {}, true, false, 4},
      {WAVE_FORMAT_EXTENSIBLE, 16, kPcm, true, false, 2},
      {WAVE_FORMAT_EXTENSIBLE, 32, kPcm, true, false, 4},
      {WAVE_FORMAT_IEEE_FLOAT, 64, {}, false, false, 0},
      {WAVE_FORMAT_EXTENSIBLE, 64, kFloat, false, false, 0},
      {WAVE_FORMAT_PCM, 8, {}, true, false, 1},
      {WAVE_FORMAT_PCM, 24, {}, true, false, 3},
      {WAVE_FORMAT_EXTENSIBLE, 24, kPcm, true, false, 3},
      {WAVE_FORMAT_PCM, 12, {}, false, false, 0},
      {WAVE_FORMAT_EXTENSIBLE, 32, GUID{0x1234, 0, 0, {}}, false, false, 0},
      {0x0055 /* compressed */, 16, {}, false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "tag " << c.tag << " bits " << c.bits);
    const WAVEFORMATEXTENSIBLE f = Format(c.tag, c.bits, c.sub);
    MixSampleLayout layout;
    ASSERT_EQ(AcceptMixFormat(f.Format, layout), c.accepted);
    if (!c.accepted) continue;
    EXPECT_EQ(layout.is_float, c.is_float);
    EXPECT_EQ(layout.bytes_per_sample, c.bytes);
  }
}

TEST(MixFormat, ExtensibleTagWithoutItsExtensionIsRefused) {
  WAVEFORMATEXTENSIBLE f = Format(WAVE_FORMAT_EXTENSIBLE, 32, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
  f.Format.cbSize = 0;
  MixSampleLayout layout;
  EXPECT_FALSE(AcceptMixFormat(f.Format, layout));
}

// The queue against a plain deque over a long run of appends and drops, as
// capture and mixer make them: every value stays where it belongs through
// the compactions, and drops beyond the queue empty it.
TEST(SampleQueue, KeepsOrderThroughDropsAndCompactions) {
  SampleQueue queue;
  std::deque<float> model;
  std::uint32_t seed = 12345;
  const auto next = [&seed](std::uint32_t bound) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % bound;
  };
  float value = 0.0f;
  for (int step = 0; step < 5000; ++step) {
    const std::uint32_t action = next(10);
    if (action < 5) {
      const std::size_t count = next(300);
      float* out = queue.append_silence(count);
      for (std::size_t i = 0; i < count; ++i) {
        out[i] = ++value;
        model.push_back(value);
      }
    } else if (action < 9) {
      const std::size_t count = next(400);
      queue.drop_front(count);
      model.erase(model.begin(), model.begin() + std::min(count, model.size()));
    } else if (next(50) == 0) {
      queue.clear();
      model.clear();
    }
    ASSERT_EQ(queue.size(), model.size()) << "step " << step;
    ASSERT_TRUE(std::equal(queue.begin(), queue.end(), model.begin())) << "step " << step;
    if (!model.empty()) {
      ASSERT_EQ(queue[model.size() / 2], model[model.size() / 2]);
    }
  }
}

// A queue and the resampler reading it, as a source holds them.
struct Reader {
  SampleQueue samples;
  StereoResampler resampler;
  bool PullFrame(float& left, float& right) { return resampler.Pull(samples, left, right); }
  void Consume() { resampler.Consume(samples); }
};

Reader Queue(std::initializer_list<float> samples, double step) {
  Reader capture;
  capture.samples.assign(samples);
  capture.resampler = StereoResampler(step);
  return capture;
}

TEST(PullFrame, InterpolatesBetweenTwoFramesAndStopsWithoutTheNext) {
  Reader capture = Queue({0.0f, 1.0f, 0.5f, -1.0f}, 0.5);
  float left = 9, right = 9;
  ASSERT_TRUE(capture.PullFrame(left, right));
  EXPECT_FLOAT_EQ(left, 0.0f);
  EXPECT_FLOAT_EQ(right, 1.0f);
  ASSERT_TRUE(capture.PullFrame(left, right));  // halfway
  EXPECT_FLOAT_EQ(left, 0.25f);
  EXPECT_FLOAT_EQ(right, 0.0f);
  EXPECT_DOUBLE_EQ(capture.resampler.position(), 1.0);
  left = right = 9;
  EXPECT_FALSE(capture.PullFrame(left, right));
  EXPECT_EQ(left, 9);  // untouched on false
  EXPECT_DOUBLE_EQ(capture.resampler.position(), 1.0);
}

TEST(PullFrame, TwoFramesAtUnitStepGiveExactlyOneFrame) {
  Reader capture = Queue({0.1f, 0.2f, 0.3f, 0.4f}, 1.0);
  float left = 0, right = 0;
  EXPECT_TRUE(capture.PullFrame(left, right));
  EXPECT_FALSE(capture.PullFrame(left, right));
  EXPECT_TRUE(Queue({}, 1.0).PullFrame(left, right) == false);
}

TEST(Consume, DropsWholeFramesAndKeepsTheFraction) {
  // 44.1 kHz: 480 output frames need 441 input frames, but the step has no
  // exact binary value and the sum lands just below 441.
  Reader capture = Queue({}, 44100 / 48000.0);
  capture.samples.assign(2 * 1000, 0.25f);
  float left, right;
  for (int i = 0; i < 480; ++i) ASSERT_TRUE(capture.PullFrame(left, right));
  EXPECT_LT(capture.resampler.position(), 441.0);
  EXPECT_GT(capture.resampler.position(), 440.999);
  capture.Consume();
  EXPECT_EQ(capture.samples.size(), 2u * 1000 - 880);
  EXPECT_GT(capture.resampler.position(), 0.999);
  EXPECT_LT(capture.resampler.position(), 1.0);
}

TEST(Consume, DoesNothingBeforeAWholeFrameOrBeyondTheQueue) {
  Reader capture = Queue({1, 2, 3, 4}, 1.0);
  capture.resampler = StereoResampler(1.0, 0.7);
  capture.Consume();
  EXPECT_EQ(capture.samples.size(), 4u);
  capture.resampler = StereoResampler(1.0, 3.5);  // more frames than are queued
  capture.Consume();
  EXPECT_EQ(capture.samples.size(), 4u);
  EXPECT_DOUBLE_EQ(capture.resampler.position(), 3.5);
  capture.resampler = StereoResampler(1.0, 2.5);
  capture.Consume();
  EXPECT_TRUE(capture.samples.empty());
  EXPECT_DOUBLE_EQ(capture.resampler.position(), 0.5);
}

TEST(MixToPcm16, SumsAreClippedSymmetricallyAndTruncated) {
  struct Case {
    float sum;
    std::int16_t pcm;
  } cases[] = {
      {0.8f + 0.7f, 32767},
      {-0.8f - 0.7f, -32767},
      {1.0f, 32767},
      {-1.0f, -32767},
      {0.0f, 0},
      {0.5f, 16383},
      {-0.5f, -16383},
      {-32768 / 32768.0f, -32767},
  };
  for (const Case& c : cases) EXPECT_EQ(MixToPcm16(c.sum), c.pcm) << c.sum;
}

}  // namespace
