#include <mmdeviceapi.h>

#include <string>
#include <vector>

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
               "format": {"tag": "extensible-pcm", "bits": 24, "rate": 44100, "channels": 6,
                          "channel_mask": 63},
               "signal": {"tone_hz": 250, "level": 0.25, "playing": false, "channels": [2, 3]}},
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
  EXPECT_EQ(render.format.channel_mask, 63u);
  EXPECT_EQ(render.signal.sounding_channels, 0b1100u);
  EXPECT_EQ(render.signal.tone_hz, 250);
  EXPECT_FALSE(render.signal.playing);

  const winsim::AudioEndpoint capture = *winsim::CaptureEndpoint();
  EXPECT_EQ(capture.name_kind, FriendlyName::kAbsent);  // no "name": no friendly name
  EXPECT_EQ(capture.format.kind, SampleKind::kOtherTag);
  EXPECT_EQ(capture.format.other_tag, 2);
  EXPECT_EQ(capture.format.rate, 48000u);  // unchanged members keep the default
  EXPECT_EQ(capture.format.channel_mask, winsim::MixFormat::kLayoutOfChannelCount);
  EXPECT_EQ(capture.signal.sounding_channels, 0xFFFFFFFFu);
  EXPECT_TRUE(capture.signal.silent);

  const winsim::MicrophoneSource mic = winsim::GetMicrophoneSource();
  EXPECT_EQ(mic.rate, 44100u);
  EXPECT_EQ(mic.channels, 1u);
  EXPECT_TRUE(mic.refused);
  EXPECT_EQ(mic.buffers_before_end, 5);

  ASSERT_TRUE(winsim::LoadMachineJson(R"({
    "render": {"clock_ppm": -250.5, "jitter_ms": 12, "jitter_seed": 99,
               "stalls": [{"at_ms": 10, "ms": 300}, {"at_ms": 900, "ms": 5}],
               "pauses": [{"at_ms": 4000, "ms": 1500}],
               "signal": {"beep_ms": 50, "beep_period_ms": 1000}}
  })",
                                      &error))
      << error;
  const winsim::AudioEndpoint conditioned = *winsim::RenderEndpoint();
  EXPECT_EQ(conditioned.conditions.clock_ppm, -250.5);
  EXPECT_EQ(conditioned.conditions.jitter_ms, 12);
  EXPECT_EQ(conditioned.conditions.jitter_seed, 99u);
  ASSERT_EQ(conditioned.conditions.stalls.size(), 2u);
  EXPECT_EQ(conditioned.conditions.stalls[1].at_ms, 900);
  EXPECT_EQ(conditioned.conditions.stalls[1].ms, 5);
  ASSERT_EQ(conditioned.conditions.pauses.size(), 1u);
  EXPECT_EQ(conditioned.conditions.pauses[0].ms, 1500);
  EXPECT_EQ(conditioned.signal.beep_ms, 50);
  EXPECT_EQ(conditioned.signal.beep_period_ms, 1000);
  EXPECT_EQ(conditioned.signal.tone_hz, 250);  // members left out keep their values

  ASSERT_TRUE(winsim::LoadMachineJson(R"({"render": null, "capture": {"name": 7}})", &error));
  EXPECT_FALSE(winsim::RenderEndpoint().has_value());
  EXPECT_EQ(winsim::CaptureEndpoint()->name_kind, FriendlyName::kNotString);

  winsim::ResetMachine();
  EXPECT_EQ(winsim::RenderEndpoint()->name, L"Speakers (Simulated Audio)");
  EXPECT_EQ(winsim::CaptureEndpoint()->name, L"Microphone (Simulated Audio)");
  EXPECT_FALSE(winsim::GetMicrophoneSource().refused);
}

// Lists: each entry starts from the direction's default endpoint as it was,
// and the first entry marked "default" (or else the first) is the default.
TEST_F(AudioMachineFileTest, EndpointListsAndTheirDefault) {
  std::string error;
  ASSERT_TRUE(winsim::LoadMachineJson(R"({
    "render": [{"id": "{r1}", "name": "A"}, {"id": "{r2}", "name": "B", "default": true},
               {"id": "{r3}", "default": true, "signal": {"tone_hz": 300}}],
    "capture": [{"id": "{c0}", "state": "unplugged"}, {"id": "{c1}", "name": "Mic"},
                {"id": "{c2}", "name": 4, "state": "active"}]
  })",
                                      &error))
      << error;
  const std::vector<winsim::AudioEndpoint> render = winsim::RenderEndpoints();
  ASSERT_EQ(render.size(), 3u);
  EXPECT_EQ(render[2].id, L"{r3}");
  EXPECT_EQ(render[2].name_kind, FriendlyName::kAbsent);
  EXPECT_EQ(render[2].signal.tone_hz, 300);
  EXPECT_EQ(render[1].signal.tone_hz, 440);  // the default speakers' tone before the list
  EXPECT_EQ(winsim::RenderEndpoint()->id, L"{r2}");
  const std::vector<winsim::AudioEndpoint> capture = winsim::CaptureEndpoints();
  ASSERT_EQ(capture.size(), 3u);
  EXPECT_EQ(capture[0].state, static_cast<DWORD>(DEVICE_STATE_UNPLUGGED));
  EXPECT_EQ(capture[2].name_kind, FriendlyName::kNotString);
  EXPECT_EQ(capture[2].signal.tone_hz, 1000);
  EXPECT_EQ(winsim::CaptureEndpoint()->id, L"{c1}");  // the first active one

  ASSERT_TRUE(winsim::LoadMachineJson(R"({"render": [], "capture": {"id": "{only}"}})", &error));
  EXPECT_FALSE(winsim::RenderEndpoint().has_value());
  ASSERT_EQ(winsim::CaptureEndpoints().size(), 1u);
  EXPECT_EQ(winsim::CaptureEndpoint()->id, L"{only}");
}

TEST_F(AudioMachineFileTest, InvalidValuesAreRefused) {
  const char* cases[] = {
      R"({"render": 3})",
      R"({"render": [3]})",
      R"({"render": [{"name": "no id"}]})",
      R"({"render": [{"id": ""}]})",
      R"({"capture": [{"id": "{a}"}, {"id": "{a}"}]})",
      R"({"render": [{"id": "{a}"}], "capture": [{"id": "{b}"}, {"id": "{a}"}]})",
      R"({"render": {"id": "{x}"}, "capture": {"id": "{x}"}})",
      R"({"capture": [{"id": "{a}", "default": 1}]})",
      R"({"capture": [{"id": "{a}", "default": true, "state": "disabled"}]})",
      R"({"capture": [{"id": "{a}", "state": "off"}]})",
      R"({"capture": [{"id": "{a}", "pauses": []}]})",
      R"({"render": {"format": {"tag": "double"}}})",
      R"({"render": {"format": {"rate": 0}}})",
      R"({"capture": {"format": {"channels": "two"}}})",
      R"({"capture": {"format": {"channels": 2, "channel_mask": 7}}})",  // 3 speakers
      R"({"capture": {"format": {"channel_mask": -1}}})",
      R"({"capture": {"signal": {"channels": [2]}}})",  // the default format is stereo
      R"({"capture": {"signal": {"channels": 1}}})",
      R"({"capture": {"signal": {"channels": [-1]}}})",
      R"({"capture": {"signal": {"loud": true}}})",
      R"({"capture": {"name": true}})",
      R"({"microphone": {"rate": -1}})",
      R"({"microphone": {"channel": 2}})",
      R"({"render": {"clock_ppm": "fast"}})",
      R"({"render": {"clock_ppm": 100001}})",
      R"({"capture": {"jitter_ms": -1}})",
      R"({"capture": {"jitter_seed": 4294967296}})",
      R"({"capture": {"stalls": {"at_ms": 1, "ms": 2}}})",
      R"({"capture": {"stalls": [{"at_ms": 1, "for_ms": 2}]}})",
      R"({"capture": {"stalls": [{"at_ms": -1, "ms": 2}]}})",
      R"({"capture": {"stalls": [{"at_ms": 0, "ms": 1e300}]}})",
      R"({"capture": {"stalls": [3]}})",
      R"({"capture": {"pauses": [{"at_ms": 1, "ms": 2}]}})",  // nothing plays on a microphone
      R"({"render": {"signal": {"beep_ms": -5}}})",
      R"({"screen": {"pattern": "timecode", "flash_ms": -1}})",
      R"({"screen": {"pattern": "clock"}})",
  };
  for (const char* json : cases) {
    SCOPED_TRACE(json);
    std::string error;
    EXPECT_FALSE(winsim::LoadMachineJson(json, &error));
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
