// Microphone-only audio: every set-up step's failure text, the formats the
// track accepts, and how samples are placed on the recording's timeline.
#include <gtest/gtest.h>

#include <mferror.h>

#include "audio_machine.h"
#include "recorder/audio/endpoint_lookup.h"
#include "recorder/audio/microphone.h"
#include "recorder/recording_session.h"
#include "winsim.h"
#include "winsim_audio.h"
#include "tests/support/machine_test.h"

using namespace morl::recorder;

namespace {

const char kDeniedHint[] =
    " -- microphone access denied; check Windows Settings > Privacy & security > Microphone";

struct MicrophoneTest : machine_test::MachineTest {
  RecordingSession session;
  std::wstring id;

  void SetUp() override {
    MachineTest::SetUp();
    winsim::SetSinkEncoding(false);
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), 0);
    ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
    NewWriter();
    const Result<FoundEndpoint> microphone = FindDefaultMicrophone();
    ASSERT_EQ(microphone.hr(), S_OK);
    id = microphone->id;
  }
  void NewWriter() {
    session.writer.sink_writer.Reset();
    ASSERT_EQ(MFCreateSinkWriterFromURL(L"/tmp/morl_mic_unused.mp4", nullptr, nullptr,
                                        session.writer.sink_writer.Put()),
              S_OK);
  }
  void TearDown() override {
    session.microphone.reader.Reset();
    session.microphone.callback.Reset();
    session.writer.sink_writer.Reset();
    MFShutdown();
    winsim::ClearFailures();
    CoUninitialize();
  }
};

// The track is what the encoder takes: 48 kHz with the device's channels up
// to two, which the reader converts to. A reader that cannot convert gets
// the device's own format, refused when the encoder cannot take it.
TEST_F(MicrophoneTest, TrackTakesTheEncodersRateOrRefusesWhatCannotBeConverted) {
  struct Case {
    DWORD rate;
    WORD channels;
    bool reader_converts;
    UINT32 track_rate, track_channels;  // 0: refused
  } cases[] = {
      {48000, 2, true, 48000, 2},  {44100, 1, true, 48000, 1},  {16000, 1, true, 48000, 1},
      {8000, 1, true, 48000, 1},   {96000, 2, true, 48000, 2},  {48000, 4, true, 48000, 2},
      {44100, 2, false, 44100, 2}, {48000, 1, false, 48000, 1}, {32000, 1, false, 0, 0},
      {48000, 6, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz x " << c.channels
                                    << (c.reader_converts ? "" : ", no conversion"));
    audio_machine::SetMicrophoneFormat(c.rate, c.channels);
    NewWriter();
    if (!c.reader_converts) {
      winsim::FailCall("IMFSourceReader::SetCurrentMediaType", MF_E_INVALIDMEDIATYPE, 1);
    }
    const std::string mic_error = SetUpMicrophone(session.AudioParts(), session.microphone, id);
    winsim::ClearFailures();
    if (c.track_rate == 0) {
      EXPECT_FALSE(session.audio.enabled);
      EXPECT_FALSE(session.microphone.reader);
      EXPECT_EQ(mic_error, "mic format unsupported for AAC hr=0x80070057");
      continue;
    }
    ASSERT_TRUE(session.audio.enabled) << mic_error;
    EXPECT_EQ(mic_error, "");
    EXPECT_EQ(session.microphone.sample_rate, c.track_rate);
    EXPECT_EQ(session.microphone.channels, c.track_channels);
    const winsim::SinkStream stream = winsim::SinkWriters().back().streams.at(0);
    EXPECT_EQ(stream.subtype, MFAudioFormat_AAC);
    EXPECT_EQ(stream.input_subtype, MFAudioFormat_PCM);
    EXPECT_EQ(stream.rate, c.track_rate);
    EXPECT_EQ(stream.channels, c.track_channels);
    EXPECT_EQ(stream.bits, 16u);
    session.microphone.reader.Reset();
    session.microphone.callback.Reset();
  }
}

TEST_F(MicrophoneTest, EachStepNamesItselfAndDeniedAccessGetsTheHint) {
  struct Case {
    const char* call;
    int nth;
    const char* step;
  } cases[] = {
      {"MFCreateAttributes", 1, "mic attrs"},
      {"MFCreateDeviceSource", 1, "mic open"},
      {"MFCreateSourceReaderFromMediaSource", 1, "mic reader"},
      {"MFCreateMediaType", 2, "mic type"},  // the first is the reader's native type
      {"IMFSourceReader::SetCurrentMediaType", 1, "mic pcm"},
      {"IMFSourceReader::GetCurrentMediaType", 1, "mic fmt"},
      {"MFCreateMediaType", 4, "aac type"},
      {"IMFSinkWriter::AddStream", 1, "aac stream"},
      {"MFCreateMediaType", 5, "pcm type"},
      {"IMFSinkWriter::SetInputMediaType", 1, "aac input"},
  };
  for (const Case& c : cases) {
    for (HRESULT hr : {E_FAIL, E_ACCESSDENIED}) {
      SCOPED_TRACE(testing::Message() << c.step << " " << std::hex << hr);
      NewWriter();
      winsim::FailCall(c.call, hr, c.nth);
      const std::string mic_error = SetUpMicrophone(session.AudioParts(), session.microphone, id);
      winsim::ClearFailures();
      EXPECT_FALSE(session.audio.enabled);
      EXPECT_FALSE(session.microphone.reader);
      EXPECT_FALSE(session.microphone.callback);
      const std::string expected =
          std::string(c.step) +
          (hr == E_FAIL ? " hr=0x80004005" : std::string(" hr=0x80070005") + kDeniedHint);
      EXPECT_EQ(mic_error, expected);
    }
  }
}

TEST(MicTimeline, DurationFollowsTheByteRate) {
  EXPECT_EQ(MicTimeline(48000, 2).Duration(19200), 1'000'000);
  EXPECT_EQ(MicTimeline(44100, 1).Duration(8820), 1'000'000);
  EXPECT_EQ(MicTimeline(44100, 1).Duration(1), 113);  // truncated
}

TEST(MicTimeline, FirstSampleEndsWhenReceivedLaterOnesFollowTheDevice) {
  const std::int64_t start = 5'000'000;
  const std::int64_t ms = 10'000;
  {
    MicTimeline timeline(48000, 2);
    // Read 50 ms after the start but lasting 100 ms: cannot begin before 0.
    EXPECT_EQ(timeline.Place(777, 100 * ms, start + 50 * ms, start), 0);
    EXPECT_EQ(timeline.Place(777 + 100 * ms, 100 * ms, start + 999 * ms, start), 100 * ms);
  }
  {
    MicTimeline timeline(48000, 2);
    EXPECT_EQ(timeline.Place(40'000'000, 100 * ms, start + 250 * ms, start), 150 * ms);
    // A device gap shows as it happened, whenever the sample is received.
    EXPECT_EQ(timeline.Place(40'000'000 + 300 * ms, 100 * ms, start, start), 450 * ms);
  }
}

}  // namespace
