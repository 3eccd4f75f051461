#include <string>

#include "audio_test_support.h"

namespace {

using audio_test::AudioTest;
using winsim::FriendlyName;
using winsim::SampleKind;

using AudioMachineFileTest = AudioTest;

TEST_F(AudioMachineFileTest, EndpointKeys) {
  std::string error;
  ASSERT_TRUE(winsim::LoadMachineJson(R"({
    "render": {"id": "{r}", "name": "Lautsprecher \u00fc",
               "format": {"tag": "extensible-pcm", "bits": 24, "rate": 44100, "channels": 6},
               "signal": {"tone_hz": 250, "level": 0.25, "playing": false}},
    "capture": {"id": "{c}", "format": {"tag": 2}, "signal": {"silent": true}},
    "microphone": {"rate": 44100, "channels": 1, "tone_hz": 300, "refused": true,
                   "buffers_before_end": 5}
  })",
                                      &error))
      << error;
  const winsim::AudioEndpoint render = *winsim::RenderEndpoint();
  EXPECT_EQ(render.id, L"{r}");
  EXPECT_EQ(render.name, L"Lautsprecher \u00fc");
  EXPECT_EQ(render.name_kind, FriendlyName::kText);
  EXPECT_EQ(render.format.kind, SampleKind::kExtensiblePcm);
  EXPECT_EQ(render.format.bits, 24);
  EXPECT_EQ(render.format.rate, 44100u);
  EXPECT_EQ(render.format.channels, 6);
  EXPECT_EQ(render.signal.tone_hz, 250);
  EXPECT_FALSE(render.signal.playing);

  const winsim::AudioEndpoint capture = *winsim::CaptureEndpoint();
  EXPECT_EQ(capture.name_kind, FriendlyName::kAbsent);  // no "name": no friendly name
  EXPECT_EQ(capture.format.kind, SampleKind::kOtherTag);
  EXPECT_EQ(capture.format.other_tag, 2);
  EXPECT_EQ(capture.format.rate, 48000u);  // unchanged members keep the default
  EXPECT_TRUE(capture.signal.silent);

  const winsim::MicrophoneSource mic = winsim::GetMicrophoneSource();
  EXPECT_EQ(mic.rate, 44100u);
  EXPECT_EQ(mic.channels, 1u);
  EXPECT_TRUE(mic.refused);
  EXPECT_EQ(mic.buffers_before_end, 5);

  ASSERT_TRUE(winsim::LoadMachineJson(R"({"render": null, "capture": {"name": 7}})", &error));
  EXPECT_FALSE(winsim::RenderEndpoint().has_value());
  EXPECT_EQ(winsim::CaptureEndpoint()->name_kind, FriendlyName::kNotString);

  winsim::ResetMachine();
  EXPECT_EQ(winsim::RenderEndpoint()->name, L"Speakers (Simulated Audio)");
  EXPECT_EQ(winsim::CaptureEndpoint()->name, L"Microphone (Simulated Audio)");
  EXPECT_FALSE(winsim::GetMicrophoneSource().refused);
}

TEST_F(AudioMachineFileTest, InvalidValuesAreRefused) {
  const char* cases[] = {
      R"({"render": 3})",
      R"({"render": {"format": {"tag": "double"}}})",
      R"({"render": {"format": {"rate": 0}}})",
      R"({"capture": {"format": {"channels": "two"}}})",
      R"({"capture": {"signal": {"loud": true}}})",
      R"({"capture": {"name": true}})",
      R"({"microphone": {"rate": -1}})",
      R"({"microphone": {"channel": 2}})",
  };
  for (const char* json : cases) {
    SCOPED_TRACE(json);
    std::string error;
    EXPECT_FALSE(winsim::LoadMachineJson(json, &error));
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
