#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "../../platform/win32/src/mp4/mp4_encoder.h"
#include "mp4_probe.h"

namespace {

using mp4::AudioFormat;
using mp4::Mp4Encoder;
using mp4::VideoFormat;
using mp4test::ProbeMp4;

constexpr std::int64_t kFrame = 666666;

// Top half red, bottom half blue, as 32-bit BGRX pixels in the given row order.
std::vector<std::uint8_t> HalvesFrame(int width, int height, bool bottom_up) {
  std::vector<std::uint8_t> pixels(std::size_t(width) * height * 4);
  for (int row = 0; row < height; ++row) {
    const int screen_row = bottom_up ? height - 1 - row : row;
    const bool top = screen_row < height / 2;
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &pixels[(std::size_t(row) * width + x) * 4];
      p[0] = top ? 0 : 255;  // blue
      p[2] = top ? 255 : 0;  // red
    }
  }
  return pixels;
}

std::unique_ptr<Mp4Encoder> OpenOrFail(const std::string& path, const VideoFormat* video,
                                       const AudioFormat* audio) {
  std::unique_ptr<Mp4Encoder> encoder;
  std::string error;
  EXPECT_EQ(Mp4Encoder::Open(path, video, audio, &encoder, &error), 0) << error;
  return encoder;
}

TEST(Mp4Encoder, KeepsIrregularFrameTimesAndEndsAtTheLastFrame) {
  const std::string path = mp4test::TempPath("irregular.mp4");
  VideoFormat video{64, 48};
  auto encoder = OpenOrFail(path, &video, nullptr);
  ASSERT_TRUE(encoder);
  const auto frame = HalvesFrame(64, 48, true);
  // A late frame, then one whose time went backwards: both are kept.
  const std::int64_t times[] = {0, kFrame, 2'500'000, 3'166'666, 3'166'000, 6'000'000};
  for (std::int64_t t : times) {
    ASSERT_EQ(encoder->AddVideoFrame(frame.data(), frame.size(), t, kFrame), 0) << encoder->error();
  }
  ASSERT_EQ(encoder->Finish(), 0) << encoder->error();

  const auto streams = ProbeMp4(path);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].codec, "h264");
  EXPECT_EQ(streams[0].width, 64);
  EXPECT_EQ(streams[0].height, 48);
  EXPECT_EQ(streams[0].frames, 6);
  EXPECT_NEAR(streams[0].duration, (6'000'000 + kFrame) / 1e7, 0.002);
}

TEST(Mp4Encoder, RowOrderDecidesWhichWayUp) {
  for (bool bottom_up : {true, false}) {
    SCOPED_TRACE(bottom_up ? "bottom-up" : "top-down");
    const std::string path = mp4test::TempPath("rows.mp4");
    VideoFormat video{64, 48};
    video.bottom_up = bottom_up;
    auto encoder = OpenOrFail(path, &video, nullptr);
    ASSERT_TRUE(encoder);
    const auto frame = HalvesFrame(64, 48, bottom_up);
    ASSERT_EQ(encoder->AddVideoFrame(frame.data(), frame.size(), 0, kFrame), 0);
    ASSERT_EQ(encoder->Finish(), 0) << encoder->error();

    const auto rgb = mp4test::FirstFrameRgb(path);
    ASSERT_EQ(rgb.size(), 64u * 48 * 3);
    const std::uint8_t* top = &rgb[(5 * 64 + 32) * 3];
    const std::uint8_t* bottom = &rgb[(42 * 64 + 32) * 3];
    EXPECT_GT(top[0], 200);  // red
    EXPECT_LT(top[2], 60);
    EXPECT_LT(bottom[0], 60);
    EXPECT_GT(bottom[2], 200);  // blue
  }
}

struct AudioCase {
  int rate, channels;
  // Audio blocks of 10 ms are written from `from` to `to` seconds, skipping
  // the stretch between `gap_from` and `gap_to`.
  double gap_from, gap_to;
};

TEST(Mp4Encoder, AudioTrackFollowsTheSampleTimes) {
  const AudioCase cases[] = {
      {48000, 2, 0, 0},
      {44100, 1, 0, 0},
      {48000, 2, 0.3, 0.6},  // a stalled device: silence fills the hole
  };
  for (const AudioCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.rate) + " Hz x" + std::to_string(c.channels));
    const std::string path = mp4test::TempPath("audio.mp4");
    VideoFormat video{64, 48};
    AudioFormat audio{c.rate, c.channels};
    auto encoder = OpenOrFail(path, &video, &audio);
    ASSERT_TRUE(encoder);
    const auto frame = HalvesFrame(64, 48, true);
    for (int i = 0; i < 15; ++i) {
      ASSERT_EQ(encoder->AddVideoFrame(frame.data(), frame.size(), i * kFrame, kFrame), 0);
    }
    const int block = c.rate / 100;
    std::vector<std::int16_t> pcm(std::size_t(block) * c.channels);
    for (std::size_t i = 0; i < pcm.size(); ++i) pcm[i] = std::int16_t((i % 97) * 300 - 14000);
    for (int b = 0; b < 100; ++b) {
      const double at = b / 100.0;
      if (at >= c.gap_from && at < c.gap_to) continue;
      ASSERT_EQ(encoder->AddAudio(pcm.data(), block, std::int64_t(b) * 100'000), 0)
          << encoder->error();
    }
    ASSERT_EQ(encoder->Finish(), 0) << encoder->error();

    const auto streams = ProbeMp4(path);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].frames, 15);
    EXPECT_EQ(streams[1].codec, "aac");
    EXPECT_EQ(streams[1].sample_rate, c.rate);
    EXPECT_EQ(streams[1].channels, c.channels);
    EXPECT_NEAR(streams[1].duration, 1.0, 0.03);
  }
}

TEST(Mp4Encoder, RefusesWhatItCannotWrite) {
  VideoFormat even{64, 48}, odd{63, 48}, empty{0, 0};
  AudioFormat rate32k{32000, 2}, six{48000, 6};
  const std::string good = mp4test::TempPath("refused.mp4");
  struct Case {
    const char* name;
    std::string path;
    const VideoFormat* video;
    const AudioFormat* audio;
    int code;
  } cases[] = {
      {"control", good, &even, nullptr, 0},
      {"odd width", good, &odd, nullptr, -EINVAL},
      {"no size", good, &empty, nullptr, -EINVAL},
      {"32 kHz", good, &even, &rate32k, -EINVAL},
      {"six channels", good, &even, &six, -EINVAL},
      {"no stream", good, nullptr, nullptr, -EINVAL},
      {"missing directory", mp4test::TempPath("no-such-dir/x.mp4"), &even, nullptr, -ENOENT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Mp4Encoder> encoder;
    std::string error;
    EXPECT_EQ(Mp4Encoder::Open(c.path, c.video, c.audio, &encoder, &error), c.code);
    EXPECT_EQ(encoder != nullptr, c.code == 0);
    EXPECT_EQ(error.empty(), c.code == 0) << error;
  }
}

TEST(Mp4Encoder, RefusesAFrameShorterThanDeclared) {
  VideoFormat video{64, 48};
  auto encoder = OpenOrFail(mp4test::TempPath("short.mp4"), &video, nullptr);
  ASSERT_TRUE(encoder);
  const auto frame = HalvesFrame(64, 48, true);
  EXPECT_EQ(encoder->AddVideoFrame(frame.data(), frame.size() - 1, 0, kFrame), -EINVAL);
  EXPECT_EQ(encoder->AddAudio(nullptr, 0, 0), -EINVAL);  // no audio track
}

}  // namespace
