#include <functiondiscoverykeys_devpkey.h>
#include <mmdeviceapi.h>

#include <string>
#include <utility>
#include <vector>

#include "audio_test_support.h"

namespace {

using audio_test::AudioTest;
using audio_test::ComRef;
using audio_test::kNotFound;

ComRef<IMMDeviceEnumerator> Enumerator() {
  ComRef<IMMDeviceEnumerator> e;
  EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                             e.PutVoid()),
            S_OK);
  return e;
}

using EndpointLookupTest = AudioTest;

TEST_F(EndpointLookupTest, DefaultEndpointsHaveIdsAndNamesAndMissingOnesAreNotFound) {
  winsim::AudioEndpoint mic;
  mic.id = L"{mic-id}";
  mic.name = L"Mikrofon (\u00e4\u00f6)";
  winsim::SetCaptureEndpoint(mic);
  struct Case {
    EDataFlow flow;
    bool present;
    const wchar_t* id;
    const wchar_t* name;
  } cases[] = {
      {eRender, true, nullptr, L"Speakers (Simulated Audio)"},
      {eCapture, true, L"{mic-id}", L"Mikrofon (\u00e4\u00f6)"},
      {eRender, false, nullptr, nullptr},
      {eCapture, false, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flow " << c.flow << " present " << c.present);
    if (!c.present && c.flow == eRender) winsim::SetRenderEndpoint(std::nullopt);
    if (!c.present && c.flow == eCapture) winsim::SetCaptureEndpoint(std::nullopt);
    ComRef<IMMDeviceEnumerator> e = Enumerator();
    ComRef<IMMDevice> device;
    const HRESULT hr = e->GetDefaultAudioEndpoint(c.flow, eConsole, device.Put());
    if (!c.present) {
      EXPECT_EQ(hr, kNotFound);
      EXPECT_EQ(device.Get(), nullptr);
      continue;
    }
    ASSERT_EQ(hr, S_OK);
    LPWSTR id = nullptr;
    ASSERT_EQ(device->GetId(&id), S_OK);
    if (c.id != nullptr) {
      EXPECT_EQ(std::wstring(id), c.id);
    }
    EXPECT_FALSE(std::wstring(id).empty());
    CoTaskMemFree(id);
    ComRef<IPropertyStore> store;
    ASSERT_EQ(device->OpenPropertyStore(STGM_READ, store.Put()), S_OK);
    PROPVARIANT name;
    PropVariantInit(&name);
    ASSERT_EQ(store->GetValue(PKEY_Device_FriendlyName, &name), S_OK);
    ASSERT_EQ(name.vt, VT_LPWSTR);
    EXPECT_EQ(std::wstring(name.pwszVal), c.name);
    PropVariantClear(&name);
    EXPECT_EQ(name.vt, VT_EMPTY);
  }
}

TEST_F(EndpointLookupTest, FriendlyNameMayBeMissingOrNotAString) {
  struct Case {
    winsim::FriendlyName kind;
    VARTYPE vt;
  } cases[] = {
      {winsim::FriendlyName::kText, VT_LPWSTR},
      {winsim::FriendlyName::kAbsent, VT_EMPTY},
      {winsim::FriendlyName::kNotString, VT_UI4},
  };
  for (const Case& c : cases) {
    winsim::AudioEndpoint speakers = *winsim::RenderEndpoint();
    speakers.name_kind = c.kind;
    winsim::SetRenderEndpoint(speakers);
    ComRef<IMMDevice> device;
    ASSERT_EQ(Enumerator()->GetDefaultAudioEndpoint(eRender, eConsole, device.Put()), S_OK);
    ComRef<IPropertyStore> store;
    ASSERT_EQ(device->OpenPropertyStore(STGM_READ, store.Put()), S_OK);
    PROPVARIANT name;
    PropVariantInit(&name);
    EXPECT_EQ(store->GetValue(PKEY_Device_FriendlyName, &name), S_OK);
    EXPECT_EQ(name.vt, c.vt);
    PropVariantClear(&name);
  }
}

// (An unknown class and a missing interface are a contract case:
// tests/contract/com_contract_test.)
TEST_F(EndpointLookupTest, EnumeratorCreationFailureIsInjectable) {
  ComRef<IUnknown> object;
  winsim::FailCall("CoCreateInstance", E_OUTOFMEMORY);
  EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                             object.PutVoid()),
            E_OUTOFMEMORY);
  EXPECT_EQ(object.Get(), nullptr);
}

TEST_F(EndpointLookupTest, InjectedFailuresLeaveOutputsEmpty) {
  ComRef<IMMDeviceEnumerator> e = Enumerator();
  ComRef<IMMDevice> device;
  winsim::FailCall("IMMDeviceEnumerator::GetDefaultAudioEndpoint", E_FAIL);
  EXPECT_EQ(e->GetDefaultAudioEndpoint(eCapture, eConsole, device.Put()), E_FAIL);
  EXPECT_EQ(device.Get(), nullptr);
  ASSERT_EQ(e->GetDefaultAudioEndpoint(eCapture, eConsole, device.Put()), S_OK);
  winsim::FailCall("IMMDevice::GetId", E_OUTOFMEMORY);
  LPWSTR id = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(device->GetId(&id), E_OUTOFMEMORY);
  EXPECT_EQ(id, nullptr);
  ComRef<IPropertyStore> store;
  winsim::FailCall("IMMDevice::OpenPropertyStore", E_ACCESSDENIED);
  EXPECT_EQ(device->OpenPropertyStore(STGM_READ, store.Put()), E_ACCESSDENIED);
  EXPECT_EQ(store.Get(), nullptr);
  ASSERT_EQ(device->OpenPropertyStore(STGM_READ, store.Put()), S_OK);
  PROPVARIANT name;
  winsim::FailCall("IPropertyStore::GetValue", E_FAIL);
  EXPECT_EQ(store->GetValue(PKEY_Device_FriendlyName, &name), E_FAIL);
  EXPECT_EQ(name.vt, VT_EMPTY);
}

}  // namespace

namespace {

winsim::AudioEndpoint NamedEndpoint(const wchar_t* id, const wchar_t* name,
                                    DWORD state = DEVICE_STATE_ACTIVE) {
  winsim::AudioEndpoint e;
  e.id = id;
  e.name = name;
  e.state = state;
  return e;
}

std::wstring IdOf(IMMDevice* device) {
  LPWSTR id = nullptr;
  EXPECT_EQ(device->GetId(&id), S_OK);
  std::wstring text = id != nullptr ? id : L"";
  CoTaskMemFree(id);
  return text;
}

std::vector<std::wstring> Listed(IMMDeviceEnumerator* e, EDataFlow flow, DWORD mask) {
  ComRef<IMMDeviceCollection> collection;
  EXPECT_EQ(e->EnumAudioEndpoints(flow, mask, collection.Put()), S_OK);
  UINT count = 0;
  EXPECT_EQ(collection->GetCount(&count), S_OK);
  std::vector<std::wstring> ids;
  for (UINT i = 0; i < count; ++i) {
    ComRef<IMMDevice> device;
    EXPECT_EQ(collection->Item(i, device.Put()), S_OK);
    ids.push_back(IdOf(device.Get()));
  }
  return ids;
}

struct EndpointEnumerationTest : AudioTest {
  void SetUp() override {
    AudioTest::SetUp();
    winsim::SetRenderEndpoints(
        {NamedEndpoint(L"{r1}", L"Speakers"), NamedEndpoint(L"{r2}", L"Headphones")}, 1);
    winsim::SetCaptureEndpoints(
        {NamedEndpoint(L"{c1}", L"Array"),
         NamedEndpoint(L"{off}", L"Webcam", DEVICE_STATE_DISABLED),
         NamedEndpoint(L"{c2}", L"Headset"), NamedEndpoint(L"{c3}", L"Line in")},
        3);
  }
};

TEST_F(EndpointEnumerationTest, ListsEveryActiveEndpointOfTheFlowInMachineOrder) {
  using Ids = std::vector<std::wstring>;
  struct Case {
    EDataFlow flow;
    DWORD mask;
    Ids ids;
  } cases[] = {
      {eRender, DEVICE_STATE_ACTIVE, {L"{r1}", L"{r2}"}},
      {eCapture, DEVICE_STATE_ACTIVE, {L"{c1}", L"{c2}", L"{c3}"}},
      {eAll, DEVICE_STATEMASK_ALL, {L"{r1}", L"{r2}", L"{c1}", L"{off}", L"{c2}", L"{c3}"}},
      {eCapture, DEVICE_STATE_DISABLED | DEVICE_STATE_UNPLUGGED, {L"{off}"}},
      {eRender, DEVICE_STATE_DISABLED | DEVICE_STATE_UNPLUGGED, {}},
  };
  ComRef<IMMDeviceEnumerator> e = Enumerator();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flow " << c.flow << " mask " << c.mask);
    EXPECT_EQ(Listed(e.Get(), c.flow, c.mask), c.ids);
  }
  // The default is the one marked so, and GetDevice finds every endpoint by
  // its id whichever its direction and state.
  for (auto [flow, id] : {std::pair{eRender, L"{r2}"}, std::pair{eCapture, L"{c3}"}}) {
    ComRef<IMMDevice> device;
    ASSERT_EQ(e->GetDefaultAudioEndpoint(flow, eConsole, device.Put()), S_OK);
    EXPECT_EQ(IdOf(device.Get()), id);
  }
  for (const wchar_t* id : {L"{r1}", L"{r2}", L"{c1}", L"{off}", L"{c2}", L"{c3}"}) {
    ComRef<IMMDevice> device;
    ASSERT_EQ(e->GetDevice(id, device.Put()), S_OK) << id;
    EXPECT_EQ(IdOf(device.Get()), id);
    DWORD state = 0;
    EXPECT_EQ(device->GetState(&state), S_OK);
    EXPECT_EQ(state, std::wstring(id) == L"{off}" ? DEVICE_STATE_DISABLED : DEVICE_STATE_ACTIVE);
  }
  // Without an active endpoint a direction has no default.
  winsim::SetCaptureEndpoints({NamedEndpoint(L"{off}", L"Webcam", DEVICE_STATE_UNPLUGGED)}, 0);
  ComRef<IMMDevice> no_default;
  EXPECT_EQ(e->GetDefaultAudioEndpoint(eCapture, eConsole, no_default.Put()), kNotFound);
  ComRef<IMMDevice> none;
  EXPECT_EQ(e->GetDevice(L"{r3}", none.Put()), kNotFound);
  EXPECT_EQ(none.Get(), nullptr);
}

// A collection is what the enumeration found: later changes to the machine
// do not reach it, and its devices outlive it. (Its refusals of bad
// arguments are a contract case: tests/contract/mmdevice_contract_test.)
TEST_F(EndpointEnumerationTest, CollectionIsASnapshotAndItsFailureIsInjectable) {
  ComRef<IMMDeviceEnumerator> e = Enumerator();
  ComRef<IMMDeviceCollection> collection;
  ASSERT_EQ(e->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, collection.Put()), S_OK);
  winsim::SetRenderEndpoint(std::nullopt);
  UINT count = 0;
  EXPECT_EQ(collection->GetCount(&count), S_OK);
  EXPECT_EQ(count, 2u);
  ComRef<IMMDevice> device;
  ASSERT_EQ(collection->Item(1, device.Put()), S_OK);
  collection.Reset();
  EXPECT_EQ(IdOf(device.Get()), L"{r2}");
  winsim::FailCall("IMMDeviceEnumerator::EnumAudioEndpoints", E_OUTOFMEMORY);
  ComRef<IMMDeviceCollection> failed;
  EXPECT_EQ(e->EnumAudioEndpoints(eAll, DEVICE_STATE_ACTIVE, failed.Put()), E_OUTOFMEMORY);
  EXPECT_EQ(failed.Get(), nullptr);
}

}  // namespace
