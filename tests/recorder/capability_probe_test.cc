// The probe map: screen entries as reported, device names with their
// fallbacks, and how each kind of lookup failure shows.
#include <gtest/gtest.h>

#include "audio_machine.h"
#include "recorder/capability_probe.h"
#include "recorder/endpoint_lookup.h"
#include "winsim.h"

namespace {

using flutter::EncodableValue;

struct ProbeTest : testing::Test {
  void SetUp() override {
    winsim::ResetMachine();
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), 0);
  }
  void TearDown() override {
    winsim::ClearFailures();
    CoUninitialize();
    EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
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
  const flutter::ValueMap map = ProbeCapabilities();
  EXPECT_EQ(Keys(map), (std::vector<std::string>{"micName", "screenAvailable", "screenHeight",
                                                  "screenWidth", "systemAudioAvailable",
                                                  "systemAudioName"}));
  EXPECT_EQ(map.at(EncodableValue("screenWidth")), EncodableValue(std::int32_t{1367}));
  EXPECT_EQ(map.at(EncodableValue("screenHeight")), EncodableValue(std::int32_t{769}));
  EXPECT_EQ(map.at(EncodableValue("screenAvailable")), EncodableValue(true));
  EXPECT_EQ(map.at(EncodableValue("micName")), EncodableValue("Mikrofon (USB \xc3\x84udio)"));
  EXPECT_EQ(map.at(EncodableValue("systemAudioName")), EncodableValue("Speakers"));
  EXPECT_EQ(map.at(EncodableValue("systemAudioAvailable")), EncodableValue(true));

  winsim::SetScreenMetrics(0, 769);
  EXPECT_EQ(ProbeCapabilities().at(EncodableValue("screenAvailable")), EncodableValue(false));
}

TEST_F(ProbeTest, UnreadableNamesFallBack) {
  audio_machine::RemoveFriendlyName("capture");
  audio_machine::SetNonStringFriendlyName("render");
  flutter::ValueMap map = ProbeCapabilities();
  EXPECT_EQ(map.at(EncodableValue("micName")), EncodableValue("Default microphone"));
  EXPECT_EQ(map.at(EncodableValue("systemAudioName")), EncodableValue("Default speakers"));

  audio_machine::SetFriendlyName("capture", L"Mic");
  winsim::FailCall("IMMDevice::OpenPropertyStore", E_ACCESSDENIED);
  map = ProbeCapabilities();
  EXPECT_EQ(map.at(EncodableValue("micName")), EncodableValue("Default microphone"));
  winsim::FailCall("IPropertyStore::GetValue", E_FAIL);
  map = ProbeCapabilities();
  EXPECT_EQ(map.at(EncodableValue("micName")), EncodableValue("Default microphone"));
}

TEST_F(ProbeTest, MissingEndpointsAreSilentOtherFailuresAreReported) {
  audio_machine::RemoveEndpoint("capture");
  audio_machine::RemoveEndpoint("render");
  flutter::ValueMap map = ProbeCapabilities();
  EXPECT_EQ(Keys(map), (std::vector<std::string>{"screenAvailable", "screenHeight",
                                                  "screenWidth", "systemAudioAvailable"}));
  EXPECT_EQ(map.at(EncodableValue("systemAudioAvailable")), EncodableValue(false));

  winsim::ResetMachine();
  winsim::FailAlways("CoCreateInstance", REGDB_E_CLASSNOTREG);
  map = ProbeCapabilities();
  EXPECT_EQ(map.at(EncodableValue("micError")), EncodableValue("mic lookup hr=0x80040154"));
  EXPECT_EQ(map.at(EncodableValue("systemAudioError")),
            EncodableValue("render lookup hr=0x80040154"));
  EXPECT_EQ(map.at(EncodableValue("systemAudioAvailable")), EncodableValue(false));
  EXPECT_EQ(map.count(EncodableValue("micName")), 0u);

  winsim::ClearFailures();
  winsim::FailCall("IMMDevice::GetId", E_OUTOFMEMORY);
  map = ProbeCapabilities();
  EXPECT_EQ(map.at(EncodableValue("micError")), EncodableValue("mic lookup hr=0x8007000e"));
  EXPECT_EQ(map.at(EncodableValue("systemAudioAvailable")), EncodableValue(true));
}

TEST_F(ProbeTest, LookupFillsStringsOnlyOnSuccessAndFlagsOnlyAbsence) {
  std::wstring id, name;
  bool noEndpoint = true;
  ASSERT_EQ(FindDefaultSpeakers(id, name, noEndpoint), S_OK);
  EXPECT_FALSE(noEndpoint);
  EXPECT_FALSE(id.empty());
  audio_machine::RemoveEndpoint("render");
  id.clear();
  name.clear();
  EXPECT_EQ(FindDefaultSpeakers(id, name, noEndpoint), static_cast<HRESULT>(0x80070490u));
  EXPECT_TRUE(noEndpoint);
  EXPECT_TRUE(id.empty() && name.empty());
  winsim::FailCall("IMMDeviceEnumerator::GetDefaultAudioEndpoint", E_FAIL);
  EXPECT_EQ(FindDefaultMicrophone(id, name, noEndpoint), E_FAIL);
  EXPECT_FALSE(noEndpoint);
}

}  // namespace
