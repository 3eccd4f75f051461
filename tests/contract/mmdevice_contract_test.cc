// The audio endpoints as the recorder finds them: the default playback and
// recording devices, their ids and friendly names, and their mix formats.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmdeviceapi.h>
#include <functiondiscoverykeys_devpkey.h>
#include <ksmedia.h>
#include <mmreg.h>
#include <propidl.h>

#include <cwchar>
#include <string>

#include "support_audio.h"
#include "wine_differences.h"

namespace contract {
namespace {

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070490u);  // ERROR_NOT_FOUND
constexpr wchar_t kUnknownId[] = L"{0.0.0.00000000}.{00000000-0000-0000-0000-000000000000}";

std::wstring IdOf(IMMDevice* device) {
  LPWSTR id = nullptr;
  EXPECT_EQ(device->GetId(&id), S_OK);
  std::wstring text = id != nullptr ? id : L"";
  CoTaskMemFree(id);
  return text;
}

class MmDevice : public ::testing::TestWithParam<EDataFlow> {
 protected:
  void SetUp() override {
    SKIP_IF_KNOWN_WINE_DIFFERENCE();
    ASSERT_EQ(apartment_.Result(), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                               IID_IMMDeviceEnumerator, enumerator_.PutVoid()),
              S_OK);
  }

  MtaScope apartment_;
  ComRef<IMMDeviceEnumerator> enumerator_;
};

std::string FlowName(const ::testing::TestParamInfo<EDataFlow>& info) {
  return info.param == eRender ? "Render" : "Capture";
}

TEST_P(MmDevice, DefaultEndpointIsActiveInEveryRole) {
  for (ERole role : {eConsole, eMultimedia, eCommunications}) {
    ComRef<IMMDevice> device;
    ASSERT_EQ(enumerator_->GetDefaultAudioEndpoint(GetParam(), role, device.Put()), S_OK)
        << "role " << role;
    DWORD state = 0;
    EXPECT_EQ(device->GetState(&state), S_OK);
    EXPECT_EQ(state, static_cast<DWORD>(DEVICE_STATE_ACTIVE));
  }
}

// The id is what a caller keeps to find the same endpoint again: stable
// across lookups, accepted by GetDevice, and distinct per direction.
TEST_P(MmDevice, EndpointIdIsStableAndFindsTheSameDevice) {
  ComRef<IMMDevice> first, second, other;
  ASSERT_EQ(enumerator_->GetDefaultAudioEndpoint(GetParam(), eConsole, first.Put()), S_OK);
  ASSERT_EQ(enumerator_->GetDefaultAudioEndpoint(GetParam(), eConsole, second.Put()), S_OK);
  const EDataFlow opposite = GetParam() == eRender ? eCapture : eRender;
  ASSERT_EQ(enumerator_->GetDefaultAudioEndpoint(opposite, eConsole, other.Put()), S_OK);
  const std::wstring id = IdOf(first.Get());
  EXPECT_FALSE(id.empty());
  EXPECT_EQ(IdOf(second.Get()), id);
  EXPECT_NE(IdOf(other.Get()), id);

  ComRef<IMMDevice> found;
  ASSERT_EQ(enumerator_->GetDevice(id.c_str(), found.Put()), S_OK);
  EXPECT_EQ(IdOf(found.Get()), id);
}

TEST_P(MmDevice, FriendlyNameIsATextPropertyFreedByPropVariantClear) {
  ComRef<IMMDevice> device;
  ASSERT_EQ(enumerator_->GetDefaultAudioEndpoint(GetParam(), eConsole, device.Put()), S_OK);
  ComRef<IPropertyStore> store;
  ASSERT_EQ(device->OpenPropertyStore(STGM_READ, store.Put()), S_OK);
  PROPVARIANT name;
  PropVariantInit(&name);
  ASSERT_EQ(store->GetValue(PKEY_Device_FriendlyName, &name), S_OK);
  ASSERT_EQ(name.vt, VT_LPWSTR);
  ASSERT_NE(name.pwszVal, nullptr);
  EXPECT_GT(wcslen(name.pwszVal), 0u);
  EXPECT_EQ(PropVariantClear(&name), S_OK);
  EXPECT_EQ(name.vt, VT_EMPTY);
}

// A property the store does not hold is not an error: the value is empty.
TEST_P(MmDevice, MissingPropertyReadsAsEmpty) {
  ComRef<IMMDevice> device;
  ASSERT_EQ(enumerator_->GetDefaultAudioEndpoint(GetParam(), eConsole, device.Put()), S_OK);
  ComRef<IPropertyStore> store;
  ASSERT_EQ(device->OpenPropertyStore(STGM_READ, store.Put()), S_OK);
  PROPERTYKEY unknown{};
  unknown.fmtid = {0x6a1e1f2b, 0x3c4d, 0x4e5f, {0x80, 0x91, 0xa2, 0xb3, 0xc4, 0xd5, 0xe6, 0xf7}};
  unknown.pid = 77;
  PROPVARIANT value;
  PropVariantInit(&value);
  value.vt = VT_UI4;  // overwritten by GetValue
  EXPECT_EQ(store->GetValue(unknown, &value), S_OK);
  EXPECT_EQ(value.vt, VT_EMPTY);
  PropVariantClear(&value);
}

// The mix format is handed out as WAVEFORMATEXTENSIBLE (the plain header
// cannot say which speaker each channel feeds), and its fields agree.
TEST_P(MmDevice, MixFormatIsAConsistentExtensibleLayout) {
  EndpointStream stream;
  ASSERT_EQ(stream.Open(GetParam()), S_OK);
  const WAVEFORMATEX& f = *stream.Mix();
  ASSERT_EQ(f.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
  ASSERT_GE(f.cbSize, sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX));
  const auto& ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(f);
  EXPECT_GE(f.nChannels, 1);
  EXPECT_GE(f.nSamplesPerSec, 8000u);
  EXPECT_LE(f.nSamplesPerSec, 384000u);
  EXPECT_EQ(f.nBlockAlign, f.nChannels * f.wBitsPerSample / 8);
  EXPECT_EQ(f.nAvgBytesPerSec, f.nSamplesPerSec * f.nBlockAlign);
  EXPECT_GT(ext.Samples.wValidBitsPerSample, 0);
  EXPECT_LE(ext.Samples.wValidBitsPerSample, f.wBitsPerSample);
  int speakers = 0;
  for (DWORD mask = ext.dwChannelMask; mask != 0; mask &= mask - 1) ++speakers;
  EXPECT_EQ(speakers, f.nChannels);
  const bool is_float = IsEqualGUID(ext.SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
  const bool is_pcm = IsEqualGUID(ext.SubFormat, KSDATAFORMAT_SUBTYPE_PCM);
  EXPECT_TRUE(is_float || is_pcm);
  if (is_float) {
    EXPECT_EQ(f.wBitsPerSample, 32);
  }
  EXPECT_TRUE(LayoutOf(f).readable) << "bits " << f.wBitsPerSample;
}

TEST_P(MmDevice, ActivateRefusesAnInterfaceThatIsNotAService) {
  ComRef<IMMDevice> device;
  ASSERT_EQ(enumerator_->GetDefaultAudioEndpoint(GetParam(), eConsole, device.Put()), S_OK);
  ComRef<IUnknown> object;
  EXPECT_EQ(device->Activate(IID_IMMDeviceEnumerator, CLSCTX_ALL, nullptr, object.PutVoid()),
            E_NOINTERFACE);
  EXPECT_EQ(object.Get(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Endpoints, MmDevice, ::testing::Values(eRender, eCapture), FlowName);

class MmDeviceLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_IF_KNOWN_WINE_DIFFERENCE();
    ASSERT_EQ(apartment_.Result(), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                               IID_IMMDeviceEnumerator, enumerator_.PutVoid()),
              S_OK);
  }
  MtaScope apartment_;
  ComRef<IMMDeviceEnumerator> enumerator_;
};

TEST_F(MmDeviceLookup, InvalidRequestsAreRefused) {
  struct Case {
    const char* what;
    EDataFlow flow;
    ERole role;
  } const cases[] = {
      {"both directions at once", eAll, eConsole},
      {"a direction past the last", static_cast<EDataFlow>(EDataFlow_enum_count), eConsole},
      {"a role past the last", eRender, static_cast<ERole>(ERole_enum_count)},
  };
  for (const Case& c : cases) {
    ComRef<IMMDevice> device;
    EXPECT_EQ(enumerator_->GetDefaultAudioEndpoint(c.flow, c.role, device.Put()), E_INVALIDARG)
        << c.what;
  }
  EXPECT_EQ(enumerator_->GetDefaultAudioEndpoint(eRender, eConsole, nullptr), E_POINTER);
  ComRef<IMMDevice> device;
  EXPECT_TRUE(FAILED(enumerator_->GetDevice(kUnknownId, device.Put())));
}

// A failed lookup says why (an unknown id is "not found") and leaves no
// device behind in the out-parameter, whatever it held before.
TEST_F(MmDeviceLookup, FailedLookupsReportNotFoundAndLeaveNoDevice) {
  IMMDevice* device = reinterpret_cast<IMMDevice*>(this);
  EXPECT_EQ(enumerator_->GetDevice(kUnknownId, &device), kNotFound);
  EXPECT_EQ(device, nullptr);
  device = reinterpret_cast<IMMDevice*>(this);
  EXPECT_EQ(enumerator_->GetDefaultAudioEndpoint(eAll, eConsole, &device), E_INVALIDARG);
  EXPECT_EQ(device, nullptr);
}

// Every endpoint a user can choose is in its direction's enumeration:
// active, with an id that GetDevice finds again, and the default among them.
TEST_F(MmDeviceLookup, EnumerationListsActiveEndpointsWithTheDefaultAmongThem) {
  UINT total = 0;
  for (EDataFlow flow : {eRender, eCapture}) {
    ComRef<IMMDeviceCollection> collection;
    ASSERT_EQ(enumerator_->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, collection.Put()), S_OK);
    UINT count = 0;
    ASSERT_EQ(collection->GetCount(&count), S_OK);
    total += count;
    ComRef<IMMDevice> default_device;
    ASSERT_EQ(enumerator_->GetDefaultAudioEndpoint(flow, eConsole, default_device.Put()), S_OK);
    const std::wstring default_id = IdOf(default_device.Get());
    bool default_listed = false;
    for (UINT i = 0; i < count; ++i) {
      ComRef<IMMDevice> device;
      ASSERT_EQ(collection->Item(i, device.Put()), S_OK);
      DWORD state = 0;
      EXPECT_EQ(device->GetState(&state), S_OK);
      EXPECT_EQ(state, static_cast<DWORD>(DEVICE_STATE_ACTIVE));
      const std::wstring id = IdOf(device.Get());
      default_listed = default_listed || id == default_id;
      ComRef<IMMDevice> again;
      ASSERT_EQ(enumerator_->GetDevice(id.c_str(), again.Put()), S_OK);
      EXPECT_EQ(IdOf(again.Get()), id);
    }
    EXPECT_TRUE(default_listed) << "flow " << flow;
  }
  ComRef<IMMDeviceCollection> both;
  ASSERT_EQ(enumerator_->EnumAudioEndpoints(eAll, DEVICE_STATE_ACTIVE, both.Put()), S_OK);
  UINT count = 0;
  EXPECT_EQ(both->GetCount(&count), S_OK);
  EXPECT_EQ(count, total);
}

TEST_F(MmDeviceLookup, EnumerationRefusesWhatIsOutOfRange) {
  IMMDeviceCollection* none = reinterpret_cast<IMMDeviceCollection*>(this);
  EXPECT_EQ(enumerator_->EnumAudioEndpoints(static_cast<EDataFlow>(EDataFlow_enum_count),
                                            DEVICE_STATE_ACTIVE, &none),
            E_INVALIDARG);
  EXPECT_EQ(none, nullptr);
  ComRef<IMMDeviceCollection> refused;
  EXPECT_EQ(enumerator_->EnumAudioEndpoints(eRender, DEVICE_STATEMASK_ALL + 1, refused.Put()),
            E_INVALIDARG);
  EXPECT_EQ(enumerator_->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, nullptr), E_POINTER);

  ComRef<IMMDeviceCollection> collection;
  ASSERT_EQ(enumerator_->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, collection.Put()), S_OK);
  UINT count = 0;
  ASSERT_EQ(collection->GetCount(&count), S_OK);
  IMMDevice* device = reinterpret_cast<IMMDevice*>(this);
  EXPECT_EQ(collection->Item(count, &device), E_INVALIDARG);
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(collection->Item(0, nullptr), E_POINTER);
  EXPECT_EQ(collection->GetCount(nullptr), E_POINTER);
}

// A device the caller holds stays usable after the enumerator is released.
TEST_F(MmDeviceLookup, DeviceOutlivesItsEnumerator) {
  ComRef<IMMDevice> device;
  ASSERT_EQ(enumerator_->GetDefaultAudioEndpoint(eRender, eConsole, device.Put()), S_OK);
  enumerator_.Reset();
  ComRef<IAudioClient> client;
  EXPECT_EQ(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, client.PutVoid()), S_OK);
}

}  // namespace
}  // namespace contract
