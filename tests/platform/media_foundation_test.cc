#include <gtest/gtest.h>
#include <mfapi.h>
#include <mfidl.h>
#include <winsim.h>

#include <cstring>

#include "tests/support/machine_test.h"

namespace {

template <typename T>
struct Ref {
  T* p = nullptr;
  ~Ref() {
    if (p != nullptr) p->Release();
  }
  T** operator&() { return &p; }
  T* operator->() const { return p; }
};

class MediaFoundationTest : public machine_test::MachineTest {};

TEST_F(MediaFoundationTest, StartupCountsUntilBalancedAndChecksVersion) {
  EXPECT_EQ(MFStartup(0x10070, MFSTARTUP_LITE), MF_E_BAD_STARTUP_VERSION);
  ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
  ASSERT_EQ(MFStartup(MF_VERSION), S_OK);
  EXPECT_TRUE(winsim::MediaFoundationStarted());
  EXPECT_EQ(winsim::LiveObjects()["other:MFStartup"], 2);
  EXPECT_EQ(MFShutdown(), S_OK);
  EXPECT_TRUE(winsim::MediaFoundationStarted());
  EXPECT_EQ(MFShutdown(), S_OK);
  EXPECT_FALSE(winsim::MediaFoundationStarted());
}

TEST_F(MediaFoundationTest, UnbalancedShutdownShowsInAccounting) {
  EXPECT_EQ(MFShutdown(), S_OK);
  EXPECT_EQ(winsim::LiveObjects()["other:MFStartup"], -1);
  ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);  // restores the balance
}

TEST_F(MediaFoundationTest, CreationCallsAreInjectable) {
  const struct {
    const char* call;
    HRESULT (*create)();
  } cases[] = {
      {"MFStartup", [] { return MFStartup(MF_VERSION, MFSTARTUP_LITE); }},
      {"MFCreateAttributes",
       [] {
         IMFAttributes* a = nullptr;
         const HRESULT hr = MFCreateAttributes(&a, 1);
         EXPECT_EQ(a, nullptr);
         return hr;
       }},
      {"MFCreateMediaType",
       [] {
         IMFMediaType* t = nullptr;
         const HRESULT hr = MFCreateMediaType(&t);
         EXPECT_EQ(t, nullptr);
         return hr;
       }},
      {"MFCreateMemoryBuffer",
       [] {
         IMFMediaBuffer* b = nullptr;
         const HRESULT hr = MFCreateMemoryBuffer(16, &b);
         EXPECT_EQ(b, nullptr);
         return hr;
       }},
      {"MFCreateSample",
       [] {
         IMFSample* s = nullptr;
         const HRESULT hr = MFCreateSample(&s);
         EXPECT_EQ(s, nullptr);
         return hr;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    winsim::FailCall(c.call, E_ACCESSDENIED);
    EXPECT_EQ(c.create(), E_ACCESSDENIED);
  }
}

TEST_F(MediaFoundationTest, AttributesKeepTypesAndPackedPairs) {
  Ref<IMFMediaType> type;
  ASSERT_EQ(MFCreateMediaType(&type), S_OK);
  EXPECT_EQ(type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video), S_OK);
  EXPECT_EQ(MFSetAttributeSize(type.p, MF_MT_FRAME_SIZE, 1920, 1080), S_OK);
  EXPECT_EQ(MFSetAttributeRatio(type.p, MF_MT_FRAME_RATE, 15, 1), S_OK);
  EXPECT_EQ(type->SetString(MF_MT_SUBTYPE, L"x\u00e9"), S_OK);

  UINT64 packed = 0;
  EXPECT_EQ(type->GetUINT64(MF_MT_FRAME_SIZE, &packed), S_OK);
  EXPECT_EQ(packed, (UINT64{1920} << 32) | 1080);
  UINT32 w = 0, h = 0;
  EXPECT_EQ(MFGetAttributeSize(type.p, MF_MT_FRAME_SIZE, &w, &h), S_OK);
  EXPECT_EQ(w, 1920u);
  EXPECT_EQ(h, 1080u);
  GUID major{};
  EXPECT_EQ(type->GetMajorType(&major), S_OK);
  EXPECT_EQ(major, MFMediaType_Video);

  UINT32 u32 = 7;
  EXPECT_EQ(type->GetUINT32(MF_MT_FRAME_SIZE, &u32), MF_E_INVALIDTYPE);
  EXPECT_EQ(type->GetUINT32(MF_MT_AVG_BITRATE, &u32), MF_E_ATTRIBUTENOTFOUND);
  EXPECT_EQ(MFGetAttributeUINT32(type.p, MF_MT_AVG_BITRATE, 42), 42u);

  UINT32 length = 0;
  EXPECT_EQ(type->GetStringLength(MF_MT_SUBTYPE, &length), S_OK);
  EXPECT_EQ(length, 2u);
  wchar_t small[2];
  EXPECT_EQ(type->GetString(MF_MT_SUBTYPE, small, 2, nullptr),
            HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
  LPWSTR text = nullptr;
  EXPECT_EQ(type->GetAllocatedString(MF_MT_SUBTYPE, &text, &length), S_OK);
  EXPECT_STREQ(text, L"x\u00e9");
  CoTaskMemFree(text);

  IMFAttributes* as_attributes = nullptr;
  ASSERT_EQ(type->QueryInterface(IID_PPV_ARGS(&as_attributes)), S_OK);
  Ref<IMFMediaType> copy;
  ASSERT_EQ(MFCreateMediaType(&copy), S_OK);
  EXPECT_EQ(as_attributes->CopyAllItems(copy.p), S_OK);
  as_attributes->Release();
  DWORD flags = 0;
  EXPECT_EQ(type->IsEqual(copy.p, &flags), S_OK);
  copy->SetUINT32(MF_MT_AVG_BITRATE, 1);
  EXPECT_EQ(type->IsEqual(copy.p, &flags), S_FALSE);
  BOOL ours_in_theirs = FALSE;
  EXPECT_EQ(type->Compare(copy.p, MF_ATTRIBUTES_MATCH_OUR_ITEMS, &ours_in_theirs), S_OK);
  EXPECT_TRUE(ours_in_theirs);
}

TEST_F(MediaFoundationTest, SetterFailureIsInjectableByMethodName) {
  Ref<IMFAttributes> attributes;
  ASSERT_EQ(MFCreateAttributes(&attributes, 1), S_OK);
  winsim::FailCall("IMFAttributes::SetUINT32", E_OUTOFMEMORY, 2);
  EXPECT_EQ(attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, 1), S_OK);
  EXPECT_EQ(attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, 2), E_OUTOFMEMORY);
  UINT32 value = 0;
  EXPECT_EQ(attributes->GetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, &value), S_OK);
  EXPECT_EQ(value, 1u);
}

TEST_F(MediaFoundationTest, BufferLockLengthRules) {
  Ref<IMFMediaBuffer> buffer;
  ASSERT_EQ(MFCreateMemoryBuffer(8, &buffer), S_OK);
  EXPECT_EQ(buffer->Unlock(), MF_E_INVALIDREQUEST);
  BYTE* data = nullptr;
  DWORD max = 0, current = 99;
  ASSERT_EQ(buffer->Lock(&data, &max, &current), S_OK);
  EXPECT_EQ(max, 8u);
  EXPECT_EQ(current, 0u);
  std::memcpy(data, "abcdefgh", 8);
  EXPECT_EQ(buffer->Unlock(), S_OK);
  EXPECT_EQ(buffer->SetCurrentLength(9), E_INVALIDARG);
  EXPECT_EQ(buffer->SetCurrentLength(8), S_OK);
  winsim::FailCall("IMFMediaBuffer::Lock", E_FAIL);
  EXPECT_EQ(buffer->Lock(&data, nullptr, nullptr), E_FAIL);
}

TEST_F(MediaFoundationTest, SampleTimesBuffersAndContiguousCopy) {
  Ref<IMFSample> sample;
  ASSERT_EQ(MFCreateSample(&sample), S_OK);
  LONGLONG time = 0;
  EXPECT_EQ(sample->GetSampleTime(&time), MF_E_NO_SAMPLE_TIMESTAMP);
  EXPECT_EQ(sample->GetSampleDuration(&time), MF_E_NO_SAMPLE_DURATION);
  EXPECT_EQ(sample->SetSampleTime(19933320), S_OK);
  EXPECT_EQ(sample->GetSampleTime(&time), S_OK);
  EXPECT_EQ(time, 19933320);

  for (const char* text : {"abc", "defg"}) {
    Ref<IMFMediaBuffer> buffer;
    ASSERT_EQ(MFCreateMemoryBuffer(16, &buffer), S_OK);
    BYTE* data = nullptr;
    buffer->Lock(&data, nullptr, nullptr);
    std::memcpy(data, text, std::strlen(text));
    buffer->Unlock();
    buffer->SetCurrentLength(static_cast<DWORD>(std::strlen(text)));
    EXPECT_EQ(sample->AddBuffer(buffer.p), S_OK);
  }
  DWORD total = 0, count = 0;
  EXPECT_EQ(sample->GetTotalLength(&total), S_OK);
  EXPECT_EQ(total, 7u);

  Ref<IMFMediaBuffer> joined;
  ASSERT_EQ(sample->ConvertToContiguousBuffer(&joined), S_OK);
  sample->GetBufferCount(&count);
  EXPECT_EQ(count, 1u);
  BYTE* data = nullptr;
  DWORD length = 0;
  joined->Lock(&data, nullptr, &length);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), length), "abcdefg");
  joined->Unlock();

  Ref<IMFMediaBuffer> small;
  ASSERT_EQ(MFCreateMemoryBuffer(6, &small), S_OK);
  EXPECT_EQ(sample->CopyToBuffer(small.p), MF_E_BUFFERTOOSMALL);
  IMFMediaBuffer* missing = nullptr;
  EXPECT_EQ(sample->GetBufferByIndex(1, &missing), E_INVALIDARG);
}

}  // namespace
