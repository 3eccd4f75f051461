// Whole recordings with real worker threads on the simulated machine, checked
// in the finished MP4: the audio track's shape and length, a tone played on
// the loopback heard at its frequency, many recordings in a row, and a
// recording left running when its recorder is destroyed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

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

struct AudioRecordingScenario : machine_test::MachineTest {
  std::string path = TempMediaPath("scenario.mp4");
  Recorder recorder;
  StartReport report;  // the last start's

  void SetUp() override {
    MachineTest::SetUp();
    winsim::SetSinkEncoding(true);
    winsim::SetScreenSize(320, 240);
    winsim::AnimateDesktop();
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), 0);
  }
  void TearDown() override {
    CoUninitialize();
    // Before the recorder goes: a stopped recorder holds nothing.
    EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
    std::remove(path.c_str());
  }
  flutter::ValueMap Record(bool system_audio, DWORD ms) {
    const Result<StartReport> started = recorder.Start(Utf8ToWide(path), system_audio);
    EXPECT_EQ(started.hr(), S_OK) << (started ? "" : started.error().message);
    if (started) report = *started;
    Sleep(ms);
    std::string code, message;
    flutter::ValueMap stats;
    EXPECT_EQ(StopRecorder(recorder, code, message, stats), S_OK) << code << message;
    return stats;
  }
  static const StreamInfo* Find(const std::vector<StreamInfo>& streams, const char* type) {
    for (const StreamInfo& s : streams) {
      if (s.type == type) return &s;
    }
    return nullptr;
  }
};

TEST_F(AudioRecordingScenario, ComputerAudioWithMicrophoneIsAac48kStereo) {
  const flutter::ValueMap stats = Record(true, 2000);
  EXPECT_EQ(std::get<bool>(stats.at(EncodableValue("hadAudio"))), true);
  const auto streams = ProbeStreams(path);
  const StreamInfo* video = Find(streams, "video");
  const StreamInfo* audio = Find(streams, "audio");
  ASSERT_TRUE(video && audio) << streams.size();
  EXPECT_EQ(video->codec, "h264");
  EXPECT_EQ(audio->codec, "aac");
  EXPECT_EQ(audio->sample_rate, 48000);
  EXPECT_EQ(audio->channels, 2);
  EXPECT_NEAR(audio->duration, video->duration, 0.1);
  EXPECT_GT(video->duration, 1.5);
}

// A 16-kHz headset and a 4-channel array at 96 kHz are recorded at the
// encoder's 48 kHz, with the device's channels up to two.
TEST_F(AudioRecordingScenario, MicrophoneAloneIsRecordedAtTheEncodersRate) {
  const struct {
    DWORD rate;
    WORD channels;
    int recorded_channels;
  } cases[] = {{16000, 1, 1}, {96000, 4, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rate);
    audio_machine::SetMicrophoneFormat(c.rate, c.channels);
    const flutter::ValueMap stats = Record(false, 2000);
    EXPECT_EQ(std::get<bool>(stats.at(EncodableValue("hadAudio"))), true);
    const auto streams = ProbeStreams(path);
    const StreamInfo* video = Find(streams, "video");
    const StreamInfo* audio = Find(streams, "audio");
    ASSERT_TRUE(video && audio) << streams.size();
    EXPECT_EQ(audio->codec, "aac");
    EXPECT_EQ(audio->sample_rate, 48000);
    EXPECT_EQ(audio->channels, c.recorded_channels);
    EXPECT_NEAR(audio->duration, video->duration, 0.1);
    EXPECT_GT(ToneEnergy(DecodeAudio(path, 48000), 48000, 1000.0), 0.01);
  }
}

// Dialogue on the centre channel of a 5.1 or 7.1 mix is heard in the
// recording; the low-frequency channel alone is left out.
TEST_F(AudioRecordingScenario, MultichannelMixIsFoldedByItsSpeakers) {
  const struct {
    WORD channels;
    std::uint32_t sounding;
    bool heard;
  } cases[] = {{6, 1u << 2, true}, {8, 1u << 2, true}, {6, 1u << 4, true}, {6, 1u << 3, false}};
  audio_machine::RemoveEndpoint("capture");
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.channels << " channels, sounding " << c.sounding);
    audio_machine::SetMixFormat("render", WAVE_FORMAT_EXTENSIBLE, 32, 48000, c.channels);
    audio_machine::PlayTone("render", 1000.0, 0.5);
    audio_machine::SoundOnChannels("render", c.sounding);
    Record(true, 1500);
    std::vector<float> pcm = DecodeAudio(path, 48000);
    ASSERT_GT(pcm.size(), 48000u);
    pcm.erase(pcm.begin(), pcm.begin() + 9600);
    const double tone = ToneEnergy(pcm, 48000, 1000.0);
    if (c.heard) {
      // A 0.5 sine on both sides gives 0.0625; one speaker folded at -3 dB and
      // scaled against clipping gives 0.0013 (a surround on one side) or more.
      EXPECT_GT(tone, 0.0008);
    } else {
      EXPECT_LT(tone, 1e-5);
    }
  }
}

TEST_F(AudioRecordingScenario, NoEndpointsRecordVideoOnly) {
  audio_machine::RemoveEndpoint("render");
  audio_machine::RemoveEndpoint("capture");
  audio_machine::RemoveEndpoint("microphone");
  for (bool system_audio : {true, false}) {
    const flutter::ValueMap stats = Record(system_audio, 700);
    EXPECT_EQ(std::get<bool>(stats.at(EncodableValue("hadAudio"))), false);
    const auto streams = ProbeStreams(path);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].codec, "h264");
  }
  EXPECT_EQ(report.mic_error, "");
}

TEST_F(AudioRecordingScenario, LoopbackToneIsHeardAtItsFrequency) {
  audio_machine::SetMixFormat("render", WAVE_FORMAT_IEEE_FLOAT, 32, 44100, 2);
  audio_machine::PlayTone("render", 1000.0, 0.5);
  audio_machine::RemoveEndpoint("capture");
  Record(true, 2000);
  std::vector<float> pcm = DecodeAudio(path, 48000);
  ASSERT_GT(pcm.size(), 48000u);
  // Skip the encoder's priming and the first block's start.
  pcm.erase(pcm.begin(), pcm.begin() + 9600);
  const double tone = ToneEnergy(pcm, 48000, 1000.0);
  const double off = ToneEnergy(pcm, 48000, 1370.0);
  EXPECT_GT(tone, 0.01);  // a 0.5 sine gives about 0.0625
  EXPECT_GT(tone, 100 * off);
}

TEST_F(AudioRecordingScenario, FiftyRecordingsInARow) {
  for (int i = 0; i < 50; ++i) {
    SCOPED_TRACE(i);
    const flutter::ValueMap stats = Record(true, 60);
    EXPECT_EQ(std::get<bool>(stats.at(EncodableValue("hadAudio"))), true);
    const auto streams = ProbeStreams(path);
    ASSERT_EQ(streams.size(), 2u);
    // Nothing of one recording outlives it.
    auto live = winsim::LiveObjects();
    for (auto it = live.begin(); it != live.end();) {
      it = it->first.rfind("apartment", 0) == 0 ? live.erase(it) : std::next(it);
    }
    ASSERT_TRUE(live.empty()) << winsim::DescribeLiveObjects();
  }
}

TEST_F(AudioRecordingScenario, RecorderDestroyedWhileRecordingFinishesTheFile) {
  {
    Recorder owner;
    std::string code, message;
    ASSERT_EQ(StartRecorder(owner, Utf8ToWide(path), true, code, message), S_OK) << code << message;
    Sleep(800);
  }
  const auto streams = ProbeStreams(path);
  ASSERT_EQ(streams.size(), 2u);
  for (const StreamInfo& s : streams) EXPECT_GT(s.duration, 0.3) << s.codec;
}

}  // namespace

namespace {

// Two devices of one direction ("render" or "capture"), A (1000 Hz) and B
// (700 Hz), with ids "{<key> A}" and "{<key> B}"; `a` and `b` add members to
// each. A default microphone sounds the machine's microphone source, whose
// tone `microphone_hz` sets.
std::string TwoDevices(const std::string& key, const char* a, const char* b,
                       const char* microphone_hz = "1000") {
  return R"({")" + key + R"(": [{"id": "{)" + key +
         R"( A}", "signal": {"tone_hz": 1000, "level": 0.5})" + a + R"(}, {"id": "{)" + key +
         R"( B}", "signal": {"tone_hz": 700, "level": 0.5})" + b +
         R"(}], "microphone": {"tone_hz": )" + microphone_hz + "}}";
}

// Devices that change under a recording, for computer audio (loopback of
// the playback devices) and for the microphone alone (the source reader): a
// recording on the default device moves with the default within a second,
// one on a chosen device keeps silence while it is gone and captures it
// again when it is back, and a lost device (not a plain switch) is reported
// as audioError.
TEST_F(AudioRecordingScenario, RecordingFollowsDeviceChanges) {
  const bool kComputerAudio = true, kMicrophone = false;
  const auto a_default = [](const char* key) { return TwoDevices(key, R"(, "default": true)", ""); };
  // A new default microphone sounds 700 Hz: heard only if the recording
  // moved to it.
  const auto b_default = [](const char* key) {
    return TwoDevices(key, "", R"(, "default": true)", "700");
  };
  const auto a_unplugged = [](const char* key) {
    return TwoDevices(key, R"(, "state": "unplugged")", R"(, "default": true)", "700");
  };
  const std::string b_unplugged =
      TwoDevices("capture", R"(, "default": true)", R"(, "state": "unplugged")");
  const char* kSpeakersLost = "system audio device lost hr=0x88890004";
  const char* kMicLost = "mic device lost hr=0xc00d3ea1";
  struct Segment {
    double from, to;  // seconds of the file
    double hz;        // the tone heard there; 0: silence
  };
  const struct {
    const char* name;
    bool system_audio;
    const wchar_t* chosen_id;
    std::vector<std::pair<DWORD, std::string>> changes;  // after ms of recording
    std::vector<Segment> heard;
    const char* audio_error;
  } cases[] = {
      {"speakers: default switched", kComputerAudio, L"", {{900, b_default("render")}},
       {{0.2, 0.8, 1000}, {1.7, 2.3, 700}}, ""},
      {"speakers: default unplugged", kComputerAudio, L"", {{900, a_unplugged("render")}},
       {{0.2, 0.8, 1000}, {1.7, 2.3, 700}}, kSpeakersLost},
      {"speakers: chosen unplugged and back", kComputerAudio, L"{render A}",
       {{800, a_unplugged("render")}, {800, a_default("render")}},
       {{0.2, 0.7, 1000}, {1.0, 1.5, 0}, {2.3, 2.6, 1000}}, kSpeakersLost},
      {"microphone: default switched", kMicrophone, L"", {{900, b_default("capture")}},
       {{0.3, 0.8, 1000}, {1.7, 2.3, 700}}, ""},
      {"microphone: default unplugged", kMicrophone, L"", {{900, a_unplugged("capture")}},
       {{0.3, 0.8, 1000}, {1.7, 2.3, 700}}, kMicLost},
      {"microphone: chosen unplugged and back", kMicrophone, L"{capture B}",
       {{800, b_unplugged}, {800, a_default("capture")}},
       {{0.3, 0.7, 700}, {1.0, 1.5, 0}, {2.4, 2.6, 700}}, kMicLost},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    ASSERT_TRUE(winsim::ApplyMachinePatch(a_default("render"), &error)) << error;
    ASSERT_TRUE(winsim::ApplyMachinePatch(a_default("capture"), &error)) << error;
    // Computer audio hears the speakers alone.
    if (c.system_audio) audio_machine::RemoveEndpoint("capture");
    StartOptions options;
    options.path = Utf8ToWide(path);
    options.system_audio = c.system_audio;
    (c.system_audio ? options.speakers_id : options.microphone_id) = c.chosen_id;
    const Result<StartReport> started = recorder.Start(options);
    ASSERT_EQ(started.hr(), S_OK) << (started ? "" : started.error().message);
    ASSERT_TRUE(started->audio);
    for (const auto& [ms, patch] : c.changes) {
      Sleep(ms);
      ASSERT_TRUE(winsim::ApplyMachinePatch(patch, &error)) << error;
    }
    Sleep(1600);
    std::string code, message;
    flutter::ValueMap stats;
    ASSERT_EQ(StopRecorder(recorder, code, message, stats), S_OK) << code << message;
    const auto audio_error = stats.find(EncodableValue("audioError"));
    EXPECT_EQ(audio_error == stats.end() ? "" : std::get<std::string>(audio_error->second),
              c.audio_error);
    const std::vector<float> pcm = DecodeAudio(path, 48000);
    for (const Segment& s : c.heard) {
      SCOPED_TRACE(testing::Message() << s.from << " s to " << s.to << " s");
      const auto from = static_cast<std::size_t>(s.from * 48000);
      const auto to = static_cast<std::size_t>(s.to * 48000);
      ASSERT_GE(pcm.size(), to);
      const std::vector<float> part(pcm.begin() + from, pcm.begin() + to);
      for (double hz : {1000.0, 700.0}) {
        // A 0.5 sine gives about 0.0625.
        if (hz == s.hz) {
          EXPECT_GT(ToneEnergy(part, 48000, hz), 0.01) << hz << " Hz";
        } else {
          EXPECT_LT(ToneEnergy(part, 48000, hz), 0.001) << hz << " Hz";
        }
      }
    }
  }
}

// The media sink holds each stream's samples until the others are written up
// to them, so audio that falls behind holds the video back. A device that
// stalls, or a microphone that never delivers, leaves the audio no more than
// about 100 ms behind: its silence is written from then on. Before, the mix
// waited 500 ms for a stalled device and the microphone alone until it
// delivered again.
TEST_F(AudioRecordingScenario, AudioNeverHoldsTheVideoBackLong) {
  const char* kSteady = R"({"stalls": []})";
  const char* kStalled = R"({"stalls": [{"at_ms": 400, "ms": 1200}]})";
  const char* kSilent = R"({"stalls": [{"at_ms": 0, "ms": 600000}]})";
  const struct {
    const char* name;
    bool system_audio;
    const char* speakers;
    const char* microphone;
  } cases[] = {
      {"microphone alone", false, kSteady, kSteady},
      {"microphone alone, stalled", false, kSteady, kStalled},
      {"microphone alone, never delivering", false, kSteady, kSilent},
      {"computer audio, speakers stalled", true, kStalled, kSteady},
      {"computer audio, microphone stalled", true, kSteady, kStalled},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    const std::string patch = std::string(R"({"render": )") + c.speakers + R"(, "capture": )" +
                              c.microphone + "}";
    ASSERT_TRUE(winsim::ApplyMachinePatch(patch, &error)) << error;
    Record(c.system_audio, 2000);
    const std::int64_t lag = winsim::SinkWriters().back().longest_stream_lag;
    std::printf("%s: the sink held a stream back for at most %.1f ms\n", c.name,
                static_cast<double>(lag) / 1e4);
    // 100 ms, a worker's step and what a busy machine delays a thread by.
    EXPECT_LE(lag, 3'000'000);
    EXPECT_GT(ProbeStreams(path).size(), 1u);
  }
}

}  // namespace
