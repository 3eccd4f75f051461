// The mixer's steps driven by hand-picked times: how many frames each block
// holds, its sample time and duration, and the one-second cap after a stall.
#include <gtest/gtest.h>

#include "recorder/audio_media_types.h"
#include "recorder/audio_mixer.h"
#include "recorder/recording_session.h"
#include "winsim.h"
#include "winsim_audio.h"

namespace {

constexpr std::int64_t kMs = 10'000;

struct AudioMixerTest : testing::Test {
  RecordingSession session;

  void SetUp() override {
    winsim::ResetMachine();
    winsim::ResetAudio();
    winsim::SetSinkEncoding(false);
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0);
    ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
    ASSERT_EQ(MFCreateSinkWriterFromURL(L"/tmp/morl_mixer_unused.mp4", nullptr, nullptr,
                                        session.sinkWriter.Put()),
              S_OK);
    ComRef<IMFMediaType> output, input;
    ASSERT_EQ(CreateAacOutputType(48000, 2, output.Put()), S_OK);
    ASSERT_EQ(session.sinkWriter->AddStream(output.Get(), &session.audioStreamIndex), S_OK);
    ASSERT_EQ(CreatePcmInputType(48000, 2, input.Put()), S_OK);
    ASSERT_EQ(session.sinkWriter->SetInputMediaType(session.audioStreamIndex, input.Get(), nullptr),
              S_OK);
    ASSERT_EQ(session.sinkWriter->BeginWriting(), S_OK);
    session.startTime = 123'456'789;
  }
  void TearDown() override {
    session.sinkWriter.Reset();
    MFShutdown();
    winsim::ClearFailures();
    CoUninitialize();
    EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
  }
  std::vector<winsim::SinkSample> Samples() { return winsim::SinkWriters().back().samples; }
};

TEST_F(AudioMixerTest, BlocksFollowTheClockAndStayContiguous) {
  AudioMixer mixer(session);
  EXPECT_EQ(mixer.Step(session.startTime), 5u);  // nothing due yet
  EXPECT_TRUE(Samples().empty());

  EXPECT_EQ(mixer.Step(session.startTime + 25 * kMs), 10u);
  ASSERT_EQ(Samples().size(), 1u);
  EXPECT_EQ(Samples()[0].bytes, 4800u);  // 1200 frames
  EXPECT_EQ(Samples()[0].time, 0);
  EXPECT_EQ(Samples()[0].duration, 250'000);

  // Up to one second: 48000 frames written in total.
  mixer.Step(session.startTime + 1000 * kMs);
  EXPECT_EQ(mixer.written(), 48000);
  // 481 frames from 48,000: time 10,000,000, duration truncated to 100,208.
  mixer.Step(session.startTime + 10'000'000 + std::int64_t{481} * 10'000'000 / 48000 + 1);
  ASSERT_EQ(Samples().size(), 3u);
  EXPECT_EQ(Samples()[2].bytes, 481u * 4);
  EXPECT_EQ(Samples()[2].time, 10'000'000);
  EXPECT_EQ(Samples()[2].duration, 100'208);
  for (std::size_t i = 1; i < Samples().size(); ++i) {
    EXPECT_LE(Samples()[i].time - (Samples()[i - 1].time + Samples()[i - 1].duration), 1);
  }
}

TEST_F(AudioMixerTest, StallIsCaughtUpOneSecondAtATime) {
  AudioMixer mixer(session);
  mixer.Step(session.startTime + 1500 * kMs);
  EXPECT_EQ(mixer.written(), 48000);
  mixer.Step(session.startTime + 1510 * kMs);
  EXPECT_EQ(mixer.written(), 1510 * 48);
  ASSERT_EQ(Samples().size(), 2u);
  EXPECT_EQ(Samples()[1].bytes, static_cast<std::size_t>(510 * 48 * 4));
}

TEST_F(AudioMixerTest, BlockThatCannotBeWrappedLeavesAGap) {
  AudioMixer mixer(session);
  winsim::FailCall("MFCreateSample", E_OUTOFMEMORY);
  mixer.Step(session.startTime + 10 * kMs);
  mixer.Step(session.startTime + 20 * kMs);
  EXPECT_EQ(mixer.written(), 960);
  ASSERT_EQ(Samples().size(), 1u);
  EXPECT_EQ(Samples()[0].time, 100'000);  // after the dropped block's place
}

}  // namespace
