// Pausing and resuming real recordings on the simulated machine, checked in
// the samples the sink writer took: nothing written while paused, no gap in
// the time line across the pause, refusals, a stop while paused, and the
// status while all this happens.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "audio_machine.h"
#include "media_file_check.h"
#include "recorder/recorder.h"
#include "recorder_calls.h"
#include "win32_support/utf_conversion.h"
#include "winsim.h"
#include "winsim_audio.h"
#include "tests/support/machine_test.h"

using morl::Utf8ToWide;

using namespace morl::recorder;

namespace {

using flutter::EncodableValue;

constexpr std::int64_t kMs = 10'000;

struct RecordingPauseTest : machine_test::MachineTest {
  std::string path = TempMediaPath("pause.mp4");
  std::string code, message;
  Recorder recorder;

  void SetUp() override {
    MachineTest::SetUp();
    winsim::SetSinkEncoding(false);
    winsim::SetScreenSize(160, 120);
    winsim::AnimateDesktop();
    audio_machine::PlayTone("render", 440, 0.5);
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), 0);
  }
  void TearDown() override {
    recorder.StopIfRecording();
    CoUninitialize();
    // Before the recorder goes: a stopped recorder holds nothing.
    EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
    std::remove(path.c_str());
  }
  void Start(bool system_audio) {
    ASSERT_EQ(StartRecorder(recorder, Utf8ToWide(path), system_audio, code, message), S_OK)
        << code << " " << message;
  }
  flutter::ValueMap Stop() {
    flutter::ValueMap stats;
    EXPECT_EQ(StopRecorder(recorder, code, message, stats), S_OK) << code << " " << message;
    return stats;
  }
  std::string Refusal(morl::recorder::Status (Recorder::*operation)()) {
    const morl::recorder::Status done = (recorder.*operation)();
    EXPECT_EQ(done.hr(), E_FAIL);
    return done.ok() ? "" : done.error().code;
  }
  template <typename T>
  T Status(const char* key) {
    return std::get<T>(StatusReply(recorder.Status()).at(EncodableValue(key)));
  }
  std::vector<winsim::SinkSample> Samples(DWORD stream) {
    std::vector<winsim::SinkSample> samples;
    const std::vector<winsim::SinkWriterRecord> writers = winsim::SinkWriters();
    for (const auto& sample : writers.back().samples) {
      if (sample.stream == stream) samples.push_back(sample);
    }
    return samples;
  }
};

std::vector<std::string> Keys(const flutter::ValueMap& map) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : map) keys.push_back(std::get<std::string>(key));
  return keys;
}

TEST_F(RecordingPauseTest, RefusalsFollowTheRecordingsState) {
  EXPECT_EQ(Refusal(&Recorder::Pause), "not_recording");
  EXPECT_EQ(Refusal(&Recorder::Resume), "not_recording");
  Start(false);
  EXPECT_EQ(Refusal(&Recorder::Resume), "not_paused");
  ASSERT_EQ(recorder.Pause().hr(), S_OK);
  EXPECT_EQ(Refusal(&Recorder::Pause), "already_paused");
  ASSERT_EQ(recorder.Resume().hr(), S_OK);
  EXPECT_EQ(Refusal(&Recorder::Resume), "not_paused");
  ASSERT_EQ(recorder.Pause().hr(), S_OK);
  Stop();
  // Stopped while paused: idle, and the next recording starts unpaused.
  EXPECT_EQ(Refusal(&Recorder::Resume), "not_recording");
  EXPECT_FALSE(Status<bool>("paused"));
  Start(false);
  EXPECT_FALSE(Status<bool>("paused"));
  EXPECT_EQ(Refusal(&Recorder::Resume), "not_paused");
}

TEST_F(RecordingPauseTest, StatusWhenIdleHasNoLevelsAndZeros) {
  const flutter::ValueMap idle = StatusReply(recorder.Status());
  EXPECT_EQ(Keys(idle),
            (std::vector<std::string>{"bytes", "elapsedMs", "frames", "paused", "recording"}));
  EXPECT_FALSE(Status<bool>("recording"));
  EXPECT_EQ(Status<std::int64_t>("elapsedMs"), 0);
  EXPECT_EQ(Status<std::int64_t>("frames"), 0);
  EXPECT_EQ(Status<std::int64_t>("bytes"), 0);
}

TEST_F(RecordingPauseTest, LevelsArePresentForTheRecordedSourcesOnlyAndNoErrors) {
  struct Case {
    const char* name;
    bool system_audio;
    bool microphone;
    std::vector<std::string> levels;
  } cases[] = {
      {"computer audio and microphone", true, true, {"micLevel", "systemAudioLevel"}},
      {"computer audio alone", true, false, {"systemAudioLevel"}},
      {"microphone alone", false, true, {"micLevel"}},
      {"no audio", false, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::ResetAudio();
    audio_machine::PlayTone("render", 440, 0.5);
    if (!c.microphone) {
      audio_machine::RemoveEndpoint("capture");
      audio_machine::RemoveEndpoint("microphone");
    }
    Start(c.system_audio);
    Sleep(300);
    // Beside the keys of every recording's status, the levels only: nothing
    // failed, so no "videoError" or "audioError" either.
    const std::vector<std::string> always{"bytes",  "capture", "elapsedMs", "encoder",
                                          "frames", "paused",  "recording"};
    std::vector<std::string> levels;
    for (const std::string& key : Keys(StatusReply(recorder.Status()))) {
      if (std::find(always.begin(), always.end(), key) == always.end()) levels.push_back(key);
    }
    EXPECT_EQ(levels, c.levels);
    if (c.system_audio) {
      EXPECT_NEAR(Status<double>("systemAudioLevel"), 0.5, 0.05);
    }
    EXPECT_TRUE(Status<bool>("recording"));
    Stop();
  }
}

TEST_F(RecordingPauseTest, PauseWritesNothingAndLeavesNoGap) {
  for (bool system_audio : {true, false}) {
    SCOPED_TRACE(system_audio ? "computer audio" : "microphone alone");
    const auto began = std::chrono::steady_clock::now();
    Start(system_audio);
    Sleep(400);
    ASSERT_EQ(recorder.Pause().hr(), S_OK);
    Sleep(100);  // a frame or audio block begun before the pause lands
    const auto frames = Status<std::int64_t>("frames");
    const auto elapsed = Status<std::int64_t>("elapsedMs");
    const std::size_t samples = winsim::SinkWriters().back().samples.size();
    EXPECT_TRUE(Status<bool>("paused"));
    Sleep(600);
    EXPECT_EQ(Status<std::int64_t>("frames"), frames);
    EXPECT_EQ(Status<std::int64_t>("elapsedMs"), elapsed);
    EXPECT_EQ(winsim::SinkWriters().back().samples.size(), samples);
    if (system_audio) {
      EXPECT_EQ(Status<double>("systemAudioLevel"), 0.0);
    }
    ASSERT_EQ(recorder.Resume().hr(), S_OK);
    Sleep(400);
    const flutter::ValueMap stats = Stop();
    const auto wall_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - began)
                            .count();

    // Video: the pause of 700 ms and more is not in the time line, so no two
    // frames are as far apart.
    const auto video = Samples(LastStreamIndex(MFMediaType_Video));
    ASSERT_GE(video.size(), 4u);
    for (std::size_t i = 1; i < video.size(); ++i) {
      EXPECT_GT(video[i].time, video[i - 1].time);
      EXPECT_LT(video[i].time - video[i - 1].time, 450 * kMs) << "frame " << i;
    }
    const std::int64_t duration_ms = std::get<std::int64_t>(stats.at(EncodableValue("durationMs")));
    EXPECT_EQ(duration_ms, (video.back().time + video.back().duration) / kMs);
    // At least the 800 ms slept while recording, less the last frame's
    // share; at most the wall time less the pause, and the last frame's
    // length past the stop.
    EXPECT_GE(duration_ms, 700);
    EXPECT_LE(duration_ms, wall_ms - 700 + 67);

    // Audio: one contiguous run ending with the video, the pause cut out.
    const auto audio = Samples(LastStreamIndex(MFMediaType_Audio));
    ASSERT_FALSE(audio.empty());
    for (std::size_t i = 1; i < audio.size(); ++i) {
      EXPECT_NEAR(audio[i].time, audio[i - 1].time + audio[i - 1].duration, 1) << "block " << i;
    }
    EXPECT_NEAR((audio.back().time + audio.back().duration) / kMs, duration_ms, 150);
  }
}

}  // namespace
