// The probe map: screen entries as reported, device names with their
// fallbacks, and how each kind of lookup failure shows.
#include <gtest/gtest.h>

#include "audio_machine.h"
#include "recorder/capability_probe.h"
#include "recorder/recorder_channel.h"
#include "recorder/audio/endpoint_lookup.h"
#include "winsim.h"
#include "winsim_audio.h"
#include "tests/support/machine_test.h"

using namespace morl::recorder;

namespace {

using flutter::EncodableValue;

struct ProbeTest : machine_test::MachineTest {
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), 0);
  }
  void TearDown() override {
    winsim::ClearFailures();
    CoUninitialize();
  }
  static std::vector<std::string> Keys(const flutter::ValueMap& map) {
    std::vector<std::string> keys;
    for (const auto& entry : map) keys.push_back(std::get<std::string>(entry.first));
    return keys;
  }
};

TEST_F(ProbeTest, NamesAndUnroundedScreen) {
  winsim::SetScreenMetrics(1367, 769);
  audio_machine::SetFriendlyName("capture", L"Mikrofon (USB \u00c4udio)");
  audio_machine::SetFriendlyName("render", L"Speakers");
  const flutter::ValueMap map = ProbeReply(ProbeCapabilities());
  EXPECT_EQ(Keys(map),
            (std::vector<std::string>{"micName", "screenAvailable", "screenHeight", "screenWidth",
                                      "systemAudioAvailable", "systemAudioName"}));
  EXPECT_EQ(std::get<std::int32_t>(map.at(EncodableValue("screenWidth"))), std::int32_t{1367});
  EXPECT_EQ(std::get<std::int32_t>(map.at(EncodableValue("screenHeight"))), std::int32_t{769});
  EXPECT_EQ(std::get<bool>(map.at(EncodableValue("screenAvailable"))), true);
  EXPECT_EQ(std::get<std::string>(map.at(EncodableValue("micName"))),
            std::string("Mikrofon (USB \xc3\x84udio)"));
  EXPECT_EQ(std::get<std::string>(map.at(EncodableValue("systemAudioName"))),
            std::string("Speakers"));
  EXPECT_EQ(std::get<bool>(map.at(EncodableValue("systemAudioAvailable"))), true);

  winsim::SetScreenMetrics(0, 769);
  EXPECT_EQ(std::get<bool>(ProbeReply(ProbeCapabilities()).at(EncodableValue("screenAvailable"))),
            false);
}

TEST_F(ProbeTest, UnreadableNamesFallBack) {
  audio_machine::RemoveFriendlyName("capture");
  audio_machine::SetNonStringFriendlyName("render");
  flutter::ValueMap map = ProbeReply(ProbeCapabilities());
  EXPECT_EQ(std::get<std::string>(map.at(EncodableValue("micName"))),
            std::string("Default microphone"));
  EXPECT_EQ(std::get<std::string>(map.at(EncodableValue("systemAudioName"))),
            std::string("Default speakers"));

  audio_machine::SetFriendlyName("capture", L"Mic");
  winsim::FailCall("IMMDevice::OpenPropertyStore", E_ACCESSDENIED);
  map = ProbeReply(ProbeCapabilities());
  EXPECT_EQ(std::get<std::string>(map.at(EncodableValue("micName"))),
            std::string("Default microphone"));
  winsim::FailCall("IPropertyStore::GetValue", E_FAIL);
  map = ProbeReply(ProbeCapabilities());
  EXPECT_EQ(std::get<std::string>(map.at(EncodableValue("micName"))),
            std::string("Default microphone"));
}

TEST_F(ProbeTest, MissingEndpointsAreSilentOtherFailuresAreReported) {
  audio_machine::RemoveEndpoint("capture");
  audio_machine::RemoveEndpoint("render");
  flutter::ValueMap map = ProbeReply(ProbeCapabilities());
  EXPECT_EQ(Keys(map), (std::vector<std::string>{"screenAvailable", "screenHeight", "screenWidth",
                                                 "systemAudioAvailable"}));
  EXPECT_EQ(std::get<bool>(map.at(EncodableValue("systemAudioAvailable"))), false);

  winsim::ResetMachine();
  winsim::FailAlways("CoCreateInstance", REGDB_E_CLASSNOTREG);
  map = ProbeReply(ProbeCapabilities());
  EXPECT_EQ(std::get<std::string>(map.at(EncodableValue("micError"))),
            std::string("mic lookup hr=0x80040154"));
  EXPECT_EQ(std::get<std::string>(map.at(EncodableValue("systemAudioError"))),
            "render lookup hr=0x80040154");
  EXPECT_EQ(std::get<bool>(map.at(EncodableValue("systemAudioAvailable"))), false);
  EXPECT_EQ(map.count(EncodableValue("micName")), 0u);

  winsim::ClearFailures();
  winsim::FailCall("IMMDevice::GetId", E_OUTOFMEMORY);
  map = ProbeReply(ProbeCapabilities());
  EXPECT_EQ(std::get<std::string>(map.at(EncodableValue("micError"))),
            std::string("mic lookup hr=0x8007000e"));
  EXPECT_EQ(std::get<bool>(map.at(EncodableValue("systemAudioAvailable"))), true);
}

TEST_F(ProbeTest, LookupFillsStringsOnlyOnSuccessAndFlagsOnlyAbsence) {
  const Result<FoundEndpoint> found = FindDefaultSpeakers();
  ASSERT_EQ(found.hr(), S_OK);
  EXPECT_FALSE(found->id.empty());
  audio_machine::RemoveEndpoint("render");
  const Result<FoundEndpoint> absent = FindDefaultSpeakers();
  EXPECT_FALSE(absent.ok());
  EXPECT_EQ(absent.hr(), static_cast<HRESULT>(0x80070490u));
  EXPECT_EQ(absent.hr(), kElementNotFound);
  winsim::FailCall("IMMDeviceEnumerator::GetDefaultAudioEndpoint", E_FAIL);
  const Result<FoundEndpoint> failed = FindDefaultMicrophone();
  EXPECT_EQ(failed.hr(), E_FAIL);
  EXPECT_NE(failed.hr(), kElementNotFound);
}

}  // namespace
