// Setting up computer audio: every outcome of the set-up table, the format
// checks of opening an endpoint, and the AAC track it declares.
#include <gtest/gtest.h>

#include <mmdeviceapi.h>
#include <mmreg.h>

#include "audio_machine.h"
#include "recorder/audio/computer_audio.h"
#include "recorder/audio/mix_source.h"
#include "recorder/recording_session.h"
#include "winsim.h"
#include "winsim_audio.h"
#include "tests/support/machine_test.h"

using morl::ComRef;

using namespace morl::recorder;

namespace {

struct ComputerAudioTest : machine_test::MachineTest {
  RecordingSession session;
  AudioSetUpTexts texts;  // the last set-up's

  void SetUp() override {
    MachineTest::SetUp();
    winsim::SetSinkEncoding(false);
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), 0);
    ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
    NewWriter();
  }
  // A fresh writer and texts for the next set-up.
  void NewWriter() {
    session.writer.sink_writer.Reset();
    ASSERT_EQ(MFCreateSinkWriterFromURL(L"/tmp/morl_setup_unused.mp4", nullptr, nullptr,
                                        session.writer.sink_writer.Put()),
              S_OK);
    texts = AudioSetUpTexts();
  }
  void TearDown() override {
    session.captures.loopback.Reset();
    session.captures.mic.Reset();
    session.writer.sink_writer.Reset();
    MFShutdown();
    winsim::ClearFailures();
    CoUninitialize();
  }
  std::size_t StreamCount() { return winsim::SinkWriters().back().streams.size(); }
};

TEST_F(ComputerAudioTest, BothSourcesOpenAndTheTrackIs48kStereo) {
  texts = SetUpComputerAudio(session.writer, session.audio, session.captures);
  EXPECT_TRUE(session.audio.enabled);
  EXPECT_EQ(texts.system_audio_error, "");
  EXPECT_EQ(texts.mic_error, "");
  EXPECT_TRUE(session.captures.loopback.endpoint.active() &&
              session.captures.loopback.endpoint.started());
  EXPECT_TRUE(session.captures.mic.endpoint.active());
  const winsim::SinkStream stream = winsim::SinkWriters().back().streams.at(0);
  EXPECT_EQ(stream.subtype, MFAudioFormat_AAC);
  EXPECT_EQ(stream.input_subtype, MFAudioFormat_PCM);
  EXPECT_EQ(stream.rate, 48000u);
  EXPECT_EQ(stream.channels, 2u);
  EXPECT_EQ(stream.bits, 16u);
  EXPECT_EQ(stream.bitrate, 128000u);
  EXPECT_EQ(session.writer.audio_stream, 0u);
}

TEST_F(ComputerAudioTest, StepFollowsTheEndpointRate) {
  struct Case {
    DWORD rate;
    WORD channels;
    double step;
  } cases[] = {
      {48000, 2, 1.0}, {44100, 2, 0.91875}, {96000, 2, 2.0}, {48000, 1, 1.0}, {48000, 6, 1.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    audio_machine::SetMixFormat("render", WAVE_FORMAT_IEEE_FLOAT, 32, c.rate, c.channels);
    ComRef<IMMDeviceEnumerator> enumerator;
    ASSERT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                               IID_IMMDeviceEnumerator, enumerator.PutVoid()),
              S_OK);
    ComRef<IMMDevice> device;
    ASSERT_EQ(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Put()), S_OK);
    MixSource capture;
    const Status opened = capture.Open(device.Get(), true);
    ASSERT_EQ(opened.hr(), S_OK) << opened.error().message;
    EXPECT_EQ(capture.endpoint.format().sample_rate, c.rate);
    EXPECT_EQ(capture.endpoint.format().channels, c.channels);
    capture.Reset();
    EXPECT_DOUBLE_EQ(capture.resampler.step(), c.step);  // kept through a reset
    EXPECT_FALSE(capture.endpoint.started() || capture.endpoint.active() ||
                 capture.endpoint.holds_client());
  }
}

TEST_F(ComputerAudioTest, LoopbackFailuresLeaveNoAudioAndSayWhy) {
  struct Case {
    const char* call;
    HRESULT hr;
    const char* text;
  } cases[] = {
      {"CoCreateInstance", REGDB_E_CLASSNOTREG, "audio enumerator hr=0x80040154"},
      {"IMMDeviceEnumerator::GetDefaultAudioEndpoint", E_OUTOFMEMORY,
       "render lookup hr=0x8007000e"},
      {"IMMDevice::Activate", E_ACCESSDENIED, "computer audio: activate hr=0x80070005"},
      {"IAudioClient::GetMixFormat", E_FAIL, "computer audio: mix format hr=0x80004005"},
      {"IAudioClient::Initialize", static_cast<HRESULT>(0x88890008u),
       "computer audio: initialize hr=0x88890008"},
      {"IAudioClient::GetService", E_NOINTERFACE, "computer audio: capture service hr=0x80004002"},
      {"IAudioClient::Start", E_UNEXPECTED, "computer audio: start hr=0x8000ffff"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    winsim::FailCall(c.call, c.hr);
    texts = SetUpComputerAudio(session.writer, session.audio, session.captures);
    EXPECT_FALSE(session.audio.enabled);
    EXPECT_EQ(texts.system_audio_error, c.text);
    EXPECT_EQ(texts.mic_error, "");
    EXPECT_FALSE(session.captures.loopback.endpoint.active() ||
                 session.captures.loopback.endpoint.holds_client());
    EXPECT_FALSE(session.captures.mic.endpoint.active());
    EXPECT_EQ(StreamCount(), 0u);  // the AAC stream only follows a working loopback
    winsim::ClearFailures();
  }
}

TEST_F(ComputerAudioTest, RefusedMixFormatsAndMissingDevice) {
  audio_machine::SetMixFormat("render", WAVE_FORMAT_IEEE_FLOAT, 64, 48000, 2);
  texts = SetUpComputerAudio(session.writer, session.audio, session.captures);
  EXPECT_FALSE(session.audio.enabled);
  EXPECT_EQ(texts.system_audio_error, "computer audio: unsupported device sample format");

  audio_machine::RemoveEndpoint("render");
  texts = SetUpComputerAudio(session.writer, session.audio, session.captures);
  EXPECT_FALSE(session.audio.enabled);
  EXPECT_EQ(texts.system_audio_error,
            "no audio output device on this machine -- computer audio cannot be captured. "
            "Connect or enable a playback device and try again.");
  EXPECT_EQ(texts.system_audio_error.size(), 127u);
  EXPECT_EQ(StreamCount(), 0u);
}

TEST_F(ComputerAudioTest, MicrophoneProblemsKeepComputerAudio) {
  // The loopback is opened first, so the second Activate is the microphone's.
  winsim::FailCall("IMMDevice::Activate", E_ACCESSDENIED, 2);
  texts = SetUpComputerAudio(session.writer, session.audio, session.captures);
  EXPECT_TRUE(session.audio.enabled);
  EXPECT_EQ(texts.mic_error, "mic mix unavailable: activate hr=0x80070005");  // no privacy hint
  EXPECT_EQ(texts.system_audio_error, "");
  EXPECT_FALSE(session.captures.mic.endpoint.active());
  session.captures.loopback.Reset();

  NewWriter();
  audio_machine::SetMixFormat("capture", WAVE_FORMAT_PCM, 12, 16000, 1);
  texts = SetUpComputerAudio(session.writer, session.audio, session.captures);
  EXPECT_TRUE(session.audio.enabled);
  EXPECT_EQ(texts.mic_error, "mic mix unavailable: unsupported device sample format");
  session.captures.loopback.Reset();

  NewWriter();
  // The speakers are looked up first, the microphone second.
  winsim::FailCall("IMMDeviceEnumerator::GetDefaultAudioEndpoint", E_OUTOFMEMORY, 2);
  texts = SetUpComputerAudio(session.writer, session.audio, session.captures);
  winsim::ClearFailures();
  EXPECT_TRUE(session.audio.enabled);
  EXPECT_EQ(texts.mic_error, "mic mix unavailable: mic lookup hr=0x8007000e");
  session.captures.loopback.Reset();

  NewWriter();
  audio_machine::RemoveEndpoint("capture");
  texts = SetUpComputerAudio(session.writer, session.audio, session.captures);
  EXPECT_TRUE(session.audio.enabled);
  EXPECT_EQ(texts.mic_error, "");  // no microphone is not a problem
}

TEST_F(ComputerAudioTest, TrackDeclarationFailuresCloseBothCaptures) {
  struct Case {
    const char* call;
    int nth;
    const char* text;
  } cases[] = {
      {"MFCreateMediaType", 1, "aac stream hr=0x8007000e"},
      {"IMFSinkWriter::AddStream", 1, "aac stream hr=0x8007000e"},
      {"MFCreateMediaType", 2, "aac input hr=0x8007000e"},
      {"IMFSinkWriter::SetInputMediaType", 1, "aac input hr=0x8007000e"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.call << " " << c.nth);
    winsim::FailCall(c.call, E_OUTOFMEMORY, c.nth);
    texts = SetUpComputerAudio(session.writer, session.audio, session.captures);
    EXPECT_FALSE(session.audio.enabled);
    EXPECT_EQ(texts.system_audio_error, c.text);
    EXPECT_FALSE(session.captures.loopback.endpoint.active() ||
                 session.captures.loopback.endpoint.holds_client());
    EXPECT_FALSE(session.captures.mic.endpoint.active() ||
                 session.captures.mic.endpoint.holds_client());
    winsim::ClearFailures();
    NewWriter();
  }
}

}  // namespace
