// The mixer's steps driven by hand-picked times: how many frames each block
// holds, its sample time and duration, the one-second cap after a stall, the
// clock read only once the captures are drained, and how far the audio lags
// the clock while a source delivers nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "recorder/audio/audio_media_types.h"
#include "recorder/audio/audio_mixer.h"
#include "recorder/now_100ns.h"
#include "recorder/recording_session.h"
#include "winsim.h"
#include "winsim_audio.h"
#include "tests/recorder/computer_audio_session.h"
#include "tests/support/machine_test.h"

using morl::ComRef;

using namespace morl::recorder;

namespace {

constexpr std::int64_t kMs = 10'000;

// A clock that always reads `time`.
std::function<std::int64_t()> At(std::int64_t time) {
  return [time] { return time; };
}

struct AudioMixerTest : machine_test::MachineTest {
  RecordingSession session;

  void SetUp() override {
    MachineTest::SetUp();
    winsim::SetSinkEncoding(false);
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0);
    ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
    ASSERT_EQ(MFCreateSinkWriterFromURL(L"/tmp/morl_mixer_unused.mp4", nullptr, nullptr,
                                        session.writer.sink_writer.Put()),
              S_OK);
    ComRef<IMFMediaType> output, input;
    ASSERT_EQ(CreateAacOutputType(48000, 2, output.Put()), S_OK);
    ASSERT_EQ(session.writer.sink_writer->AddStream(output.Get(), &session.writer.audio_stream),
              S_OK);
    ASSERT_EQ(CreatePcmInputType(48000, 2, input.Put()), S_OK);
    ASSERT_EQ(session.writer.sink_writer->SetInputMediaType(session.writer.audio_stream, input.Get(),
                                                           nullptr),
              S_OK);
    ASSERT_EQ(session.writer.sink_writer->BeginWriting(), S_OK);
    session.timeline.start_time = 123'456'789;
  }
  void TearDown() override {
    session.writer.sink_writer.Reset();
    MFShutdown();
    winsim::ClearFailures();
    CoUninitialize();
  }
  std::vector<winsim::SinkSample> Samples() { return winsim::SinkWriters().back().samples; }
};

TEST_F(AudioMixerTest, BlocksFollowTheClockAndStayContiguous) {
  AudioMixer mixer(session.AudioParts(), session.captures);
  EXPECT_EQ(mixer.Step(At(session.timeline.start_time)), 5u);  // nothing due yet
  EXPECT_TRUE(Samples().empty());

  EXPECT_EQ(mixer.Step(At(session.timeline.start_time + 25 * kMs)), 10u);
  ASSERT_EQ(Samples().size(), 1u);
  EXPECT_EQ(Samples()[0].bytes, 4800u);  // 1200 frames
  EXPECT_EQ(Samples()[0].time, 0);
  EXPECT_EQ(Samples()[0].duration, 250'000);

  // Up to one second: 48000 frames written in total.
  mixer.Step(At(session.timeline.start_time + 1000 * kMs));
  EXPECT_EQ(mixer.written(), 48000);
  // 481 frames from 48,000: time 10,000,000, duration truncated to 100,208.
  mixer.Step(
      At(session.timeline.start_time + 10'000'000 + std::int64_t{481} * 10'000'000 / 48000 + 1));
  ASSERT_EQ(Samples().size(), 3u);
  EXPECT_EQ(Samples()[2].bytes, 481u * 4);
  EXPECT_EQ(Samples()[2].time, 10'000'000);
  EXPECT_EQ(Samples()[2].duration, 100'208);
  for (std::size_t i = 1; i < Samples().size(); ++i) {
    EXPECT_LE(Samples()[i].time - (Samples()[i - 1].time + Samples()[i - 1].duration), 1);
  }
}

TEST_F(AudioMixerTest, StallIsCaughtUpOneSecondAtATime) {
  AudioMixer mixer(session.AudioParts(), session.captures);
  mixer.Step(At(session.timeline.start_time + 1500 * kMs));
  EXPECT_EQ(mixer.written(), 48000);
  mixer.Step(At(session.timeline.start_time + 1510 * kMs));
  EXPECT_EQ(mixer.written(), 1510 * 48);
  ASSERT_EQ(Samples().size(), 2u);
  EXPECT_EQ(Samples()[1].bytes, static_cast<std::size_t>(510 * 48 * 4));
}

TEST_F(AudioMixerTest, BlockThatCannotBeWrappedLeavesAGap) {
  // Any call that makes the sample may refuse the block: it is then not
  // written at all, and the failure names the call.
  for (const char* call :
       {"MFCreateSample", "IMFMediaBuffer::SetCurrentLength", "IMFSample::AddBuffer"}) {
    SCOPED_TRACE(call);
    AudioMixer mixer(session.AudioParts(), session.captures);
    session.audio.failure.Clear();
    const std::size_t before = Samples().size();
    winsim::FailCall(call, E_OUTOFMEMORY);
    mixer.Step(At(session.timeline.start_time + 10 * kMs));
    mixer.Step(At(session.timeline.start_time + 20 * kMs));
    winsim::ClearFailures();
    EXPECT_EQ(mixer.written(), 960);
    ASSERT_EQ(Samples().size(), before + 1);
    EXPECT_EQ(Samples().back().time, 100'000);  // after the dropped block's place
    EXPECT_EQ(session.audio.failure.Text(), std::string(call) + " hr=0x8007000e");
  }
}

// The block must also cover the time the drain took, so the clock is read
// after both captures have handed over what they hold.
using AudioMixerOrderTest = machine_test::MachineTest;

TEST_F(AudioMixerOrderTest, ClockIsReadAfterTheCapturesAreDrained) {
  winsim::SetSinkEncoding(false);
  winsim::UseManualClock();
  RecordingSession session;
  ASSERT_EQ(computer_audio_session::Open(session, L"/tmp/morl_mixer_order_unused.mp4"), "");
  winsim::AdvanceClock(50 * kMs);

  {  // the mixer follows the devices until it goes
    std::size_t loopback_queued = 0;
    std::size_t mic_queued = 0;
    AudioMixer mixer(session.AudioParts(), session.captures);
    mixer.Step([&] {
      loopback_queued = session.captures.loopback.samples.size();
      mic_queued = session.captures.mic.samples.size();
      return Now100ns();
    });
    EXPECT_GT(loopback_queued, 0u);
    EXPECT_GT(mic_queued, 0u);
    // Everything both captures delivered, but the last frame, which waits for
    // the next packet to be interpolated.
    EXPECT_EQ(mixer.written(), 50 * 48 - 1);
  }
  computer_audio_session::Close(session);
  winsim::UseRealClock();
  EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
}

// How far the written audio lags the clock over 1.5 s of 10-ms steps with a
// microphone and speakers as each case sets them. A quiet loopback delivers
// nothing unless the keep-alive plays on its endpoint; a stalled one
// delivers its audio late, in one burst, and the mixer waits for it no more
// than 100 ms, the longest the media sink may hold the video back. The
// keep-alive moves with the loopback to a new default endpoint.
TEST(AudioMixerLagTest, KeptAliveQuietLoopbackDoesNotHoldTheMixBack) {
  struct Case {
    const char* name;
    bool playing;
    double stall_ms;         // from 500 ms of the loopback's stream
    bool keep_alive_refused;  // its buffer cannot be had
    bool switched;          // to other quiet speakers after 750 ms
    std::int64_t least_ms, most_ms;
  } const cases[] = {
      {"quiet speakers", false, 0, false, false, 0, 30},
      {"quiet speakers, no keep-alive", false, 0, true, false, 90, 110},
      {"stalled speakers", true, 300, false, false, 90, 110},
      {"stalled speakers, no keep-alive", true, 300, true, false, 90, 110},
      {"quiet speakers switched", false, 0, false, true, 0, 110},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::ResetMachine();
    winsim::ResetAudio();
    winsim::SetSinkEncoding(false);
    winsim::UseManualClock();
    winsim::AudioEndpoint speakers = *winsim::RenderEndpoint();
    speakers.signal.playing = c.playing;
    if (c.stall_ms > 0) speakers.conditions.stalls = {{500, c.stall_ms}};
    winsim::SetRenderEndpoint(speakers);
    if (c.keep_alive_refused) winsim::FailAlways("IAudioRenderClient::GetBuffer", E_FAIL);
    RecordingSession session;
    ASSERT_EQ(computer_audio_session::Open(session, L"/tmp/morl_mixer_lag_unused.mp4"), "");
    std::int64_t longest_lag = 0;
    {
      AudioMixer mixer(session.AudioParts(), session.captures);
      const auto clock = [] { return Now100ns(); };
      for (int step = 0; step < 150; ++step) {
        if (c.switched && step == 75) {
          winsim::AudioEndpoint other = speakers;
          other.id = L"{other speakers}";
          winsim::SetRenderEndpoints({speakers, other}, 1);
          // The notification comes on the machine's own thread.
          for (int wait = 0;
               wait < 200 && session.captures.loopback.endpoint.endpoint_id() != other.id; ++wait) {
            Sleep(10);
            mixer.Step(clock);
          }
          ASSERT_EQ(session.captures.loopback.endpoint.endpoint_id(), other.id);
        }
        winsim::AdvanceClock(10 * kMs);
        mixer.Step(clock);
        const std::int64_t due = (Now100ns() - session.timeline.start_time) * 48 / kMs;
        longest_lag = std::max(longest_lag, due - mixer.written());
      }
    }
    std::printf("%s: the written audio lagged the clock by at most %.1f ms\n", c.name,
                static_cast<double>(longest_lag) / 48.0);
    EXPECT_GE(longest_lag, c.least_ms * 48);
    EXPECT_LE(longest_lag, c.most_ms * 48);
    EXPECT_TRUE(session.audio.failure.Text().empty()) << session.audio.failure.Text();
    winsim::ClearFailures();
    computer_audio_session::Close(session);
    winsim::UseRealClock();
    EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
  }
}

}  // namespace
