// Choosing audio devices: the list the user chooses from, and what a start
// does with a chosen microphone or playback device, found or not.
#include <gtest/gtest.h>

#include <mmdeviceapi.h>

#include "recorder/audio/audio_devices.h"
#include "recorder/audio/computer_audio.h"
#include "recorder/recorder.h"
#include "recorder/recording_session.h"
#include "recorder_calls.h"
#include "winsim.h"
#include "winsim_audio.h"
#include "tests/support/machine_test.h"

using namespace morl::recorder;

namespace {

constexpr char kMicMissing[] =
    "mic lookup hr=0x80070490 -- the chosen microphone is not connected or not enabled";
constexpr char kSpeakersMissing[] =
    "render lookup hr=0x80070490 -- the chosen playback device is not connected or not enabled";

winsim::AudioEndpoint Endpoint(const wchar_t* id, const wchar_t* name,
                               DWORD state = DEVICE_STATE_ACTIVE) {
  winsim::AudioEndpoint e;
  e.id = id;
  if (name != nullptr) e.name = name;
  if (name == nullptr) e.name_kind = winsim::FriendlyName::kAbsent;
  e.state = state;
  return e;
}

// Two playback devices (the second the default, without a name) and two
// active microphones (the first the default) with a disabled one between.
void SetDevices() {
  winsim::SetRenderEndpoints({Endpoint(L"{r1}", L"Speakers"), Endpoint(L"{r2}", nullptr)}, 1);
  winsim::SetCaptureEndpoints(
      {Endpoint(L"{c1}", L"Array"), Endpoint(L"{off}", L"Webcam", DEVICE_STATE_DISABLED),
       Endpoint(L"{c2}", L"Headset")},
      0);
}

struct AudioDevicesTest : machine_test::MachineTest {
  void SetUp() override {
    MachineTest::SetUp();
    winsim::SetSinkEncoding(false);
    winsim::SetScreenSize(64, 48);
    SetDevices();
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), 0);
  }
  void TearDown() override {
    winsim::ClearFailures();
    CoUninitialize();
  }
  static std::vector<std::wstring> InitializedEndpoints() {
    std::vector<std::wstring> ids;
    for (const winsim::AudioClientInit& init : winsim::AudioClientInits()) {
      ids.push_back(init.endpoint_id);
    }
    return ids;
  }
};

TEST_F(AudioDevicesTest, ListsEveryActiveEndpointWithItsNameAndDefault) {
  std::vector<AudioDevice> microphones, speakers;
  ASSERT_EQ(ListAudioDevices(microphones, speakers), S_OK);
  ASSERT_EQ(microphones.size(), 2u);
  ASSERT_EQ(speakers.size(), 2u);
  auto expect = [](const AudioDevice& d, const wchar_t* id, const wchar_t* name, bool is_default) {
    EXPECT_EQ(d.id, id);
    EXPECT_EQ(d.name, name);
    EXPECT_EQ(d.is_default, is_default) << d.name;
  };
  expect(microphones[0], L"{c1}", L"Array", true);
  expect(microphones[1], L"{c2}", L"Headset", false);
  expect(speakers[0], L"{r1}", L"Speakers", false);
  expect(speakers[1], L"{r2}", L"Default speakers", true);

  winsim::SetRenderEndpoint(std::nullopt);
  ASSERT_EQ(ListAudioDevices(microphones, speakers), S_OK);
  EXPECT_EQ(microphones.size(), 2u);
  EXPECT_TRUE(speakers.empty());
}

TEST_F(AudioDevicesTest, AFailingCallFailsTheListWithItsHresult) {
  struct Case {
    const char* call;
    int nth;
  } cases[] = {
      {"CoCreateInstance", 1},
      {"IMMDeviceEnumerator::EnumAudioEndpoints", 2},  // the speakers, after the microphones
      {"IMMDeviceEnumerator::GetDefaultAudioEndpoint", 1},
      {"IMMDevice::GetId", 3},  // an entry's, after the default's
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    winsim::FailCall(c.call, E_OUTOFMEMORY, c.nth);
    std::vector<AudioDevice> microphones(1), speakers(1);
    EXPECT_EQ(ListAudioDevices(microphones, speakers), E_OUTOFMEMORY);
    EXPECT_TRUE(microphones.empty() && speakers.empty());
    winsim::ClearFailures();
  }
  // An unreadable name is no failure: the entry has the fallback name.
  winsim::FailCall("IMMDevice::OpenPropertyStore", E_ACCESSDENIED, 1);
  std::vector<AudioDevice> microphones, speakers;
  ASSERT_EQ(ListAudioDevices(microphones, speakers), S_OK);
  EXPECT_EQ(microphones[0].name, L"Default microphone");
}

// Computer audio with chosen devices: the chosen endpoints are the ones
// opened; a chosen device that is not there (or is of the other kind) is
// reported in the style of the default devices' problems.
TEST_F(AudioDevicesTest, ComputerAudioOpensTheChosenDevicesOrSaysWhy) {
  struct Case {
    const char* name;
    ComputerAudioDevices devices;
    bool audio;
    std::vector<std::wstring> opened;
    const char* system_audio_error;
    std::string mic_error;
  } cases[] = {
      {"defaults", {}, true, {L"{r2}", L"{c1}"}, "", ""},
      {"both chosen", {L"{r1}", L"{c2}"}, true, {L"{r1}", L"{c2}"}, "", ""},
      {"unknown speakers", {L"{gone}", L"{c2}"}, false, {}, kSpeakersMissing, ""},
      {"a microphone as speakers", {L"{c2}", L""}, false, {}, kSpeakersMissing, ""},
      {"unknown microphone",
       {L"", L"{gone}"},
       true,
       {L"{r2}"},
       "",
       std::string("mic mix unavailable: ") + kMicMissing},
      {"disabled microphone",
       {L"", L"{off}"},
       true,
       {L"{r2}"},
       "",
       std::string("mic mix unavailable: ") + kMicMissing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::ResetAudio();
    SetDevices();
    ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
    RecordingSession session;
    ASSERT_EQ(MFCreateSinkWriterFromURL(L"/tmp/morl_devices_unused.mp4", nullptr, nullptr,
                                        session.writer.sink_writer.Put()),
              S_OK);
    const AudioSetUpTexts texts =
        SetUpComputerAudio(session.writer, session.audio, session.captures, c.devices);
    EXPECT_EQ(session.audio.enabled, c.audio);
    EXPECT_EQ(InitializedEndpoints(), c.opened);
    EXPECT_EQ(texts.system_audio_error, c.system_audio_error);
    EXPECT_EQ(texts.mic_error, c.mic_error);
    session.captures.loopback.Reset();
    session.captures.mic.Reset();
    session.writer.sink_writer.Reset();
    MFShutdown();
  }
}

// The microphone alone: a chosen one that is not there leaves the recording
// without audio and says why; a lookup that cannot run says how it failed.
TEST_F(AudioDevicesTest, MicrophoneOnlyStartWithAChosenMicrophone) {
  struct Case {
    const wchar_t* id;
    const char* fail_call;
    bool audio;
    const char* mic_error;
  } cases[] = {
      {L"{c2}", nullptr, true, ""},
      {L"{gone}", nullptr, false, kMicMissing},
      {L"{r1}", nullptr, false, kMicMissing},
      {L"{off}", nullptr, false, kMicMissing},
      {L"{c2}", "IMMDeviceEnumerator::EnumAudioEndpoints", false, "mic lookup hr=0x8007000e"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.id, c.id + wcslen(c.id)));
    if (c.fail_call != nullptr) winsim::FailCall(c.fail_call, E_OUTOFMEMORY);
    Recorder recorder;
    StartOptions options;
    options.path = L"/tmp/morl_devices_mic.mp4";
    options.microphone_id = c.id;
    const Result<StartReport> started = recorder.Start(options);
    ASSERT_EQ(started.hr(), S_OK) << started.error().code << " " << started.error().message;
    EXPECT_EQ(started->audio, c.audio);
    EXPECT_EQ(started->mic_error, c.mic_error);
    EXPECT_EQ(recorder.Stop().hr(), S_OK);
    winsim::ClearFailures();
  }
  std::remove("/tmp/morl_devices_mic.mp4");
}

}  // namespace
