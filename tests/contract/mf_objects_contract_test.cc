// Media Foundation objects the recorder builds its media types and samples
// from: start-up pairing, attribute stores and how sizes and ratios pack,
// memory buffers and samples.
#include <windows.h>

#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfobjects.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "contract_support.h"
#include "wine_differences.h"

namespace {

using contract::ComRef;

class MfObjects : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK); }
  void TearDown() override { EXPECT_EQ(MFShutdown(), S_OK); }
};

// Start-ups nest and each is balanced by its own shut-down; a wrong version
// is refused without starting anything.
TEST(MfStartup, NestsAndRefusesAWrongVersion) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  EXPECT_EQ(MFStartup(MF_VERSION, MFSTARTUP_FULL), S_OK);
  EXPECT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
  EXPECT_EQ(MFShutdown(), S_OK);
  EXPECT_EQ(MFShutdown(), S_OK);
  EXPECT_EQ(MFStartup(0x00010001, MFSTARTUP_FULL), MF_E_BAD_STARTUP_VERSION);
}

// ---- Attribute packing ---------------------------------------------------

struct Packed {
  const char* name;
  UINT32 high;
  UINT32 low;
  UINT64 packed;
};

class AttributePacking : public MfObjects, public ::testing::WithParamInterface<Packed> {};

// MFSetAttributeSize puts the width in the high half and the height in the
// low half; a ratio puts the numerator high. Encoders read the UINT64.
TEST_P(AttributePacking, SizeAndRatioPackHighThenLow) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const Packed& c = GetParam();
  ComRef<IMFMediaType> type;
  ASSERT_EQ(MFCreateMediaType(type.Put()), S_OK);
  ASSERT_EQ(MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, c.high, c.low), S_OK);
  ASSERT_EQ(MFSetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, c.high, c.low), S_OK);
  UINT64 size = 0, rate = 0;
  ASSERT_EQ(type->GetUINT64(MF_MT_FRAME_SIZE, &size), S_OK);
  ASSERT_EQ(type->GetUINT64(MF_MT_FRAME_RATE, &rate), S_OK);
  EXPECT_EQ(size, c.packed);
  EXPECT_EQ(rate, c.packed);
  UINT32 high = 0, low = 0;
  ASSERT_EQ(MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &high, &low), S_OK);
  EXPECT_EQ(high, c.high);
  EXPECT_EQ(low, c.low);
  MF_ATTRIBUTE_TYPE kind{};
  ASSERT_EQ(type->GetItemType(MF_MT_FRAME_SIZE, &kind), S_OK);
  EXPECT_EQ(kind, MF_ATTRIBUTE_UINT64);
}

INSTANTIATE_TEST_SUITE_P(Table, AttributePacking,
                         ::testing::Values(Packed{"FullHd", 1920, 1080, 0x0000078000000438ull},
                                           Packed{"OddSize", 1, 3, 0x0000000100000003ull},
                                           Packed{"NtscRate", 30000, 1001, 0x00007530000003E9ull},
                                           Packed{"TopBits", 0xFFFFFFFFu, 0x80000000u,
                                                  0xFFFFFFFF80000000ull}),
                         [](const auto& row) { return std::string(row.param.name); });

// MF_MT_DEFAULT_STRIDE is a UINT32 that holds a signed stride: a bottom-up
// RGB32 frame stores -width * 4, read back as INT32.
TEST_F(MfObjects, DefaultStrideRoundTripsAsSigned) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  ComRef<IMFMediaType> type;
  ASSERT_EQ(MFCreateMediaType(type.Put()), S_OK);
  const INT32 stride = -1366 * 4;
  ASSERT_EQ(type->SetUINT32(MF_MT_DEFAULT_STRIDE, static_cast<UINT32>(stride)), S_OK);
  UINT32 stored = 0;
  ASSERT_EQ(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &stored), S_OK);
  EXPECT_EQ(static_cast<INT32>(stored), stride);
  EXPECT_EQ(static_cast<INT32>(MFGetAttributeUINT32(type.Get(), MF_MT_DEFAULT_STRIDE, 0)), stride);
}

// Reading a missing key or a key of another type fails with distinct
// results, and MFGetAttributeUINT32 falls back to its default for both.
TEST_F(MfObjects, MissingAndMistypedKeys) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  ComRef<IMFAttributes> store;
  ASSERT_EQ(MFCreateAttributes(store.Put(), 2), S_OK);
  UINT32 value = 0;
  EXPECT_EQ(store->GetUINT32(MF_MT_AVG_BITRATE, &value), MF_E_ATTRIBUTENOTFOUND);
  EXPECT_EQ(MFGetAttributeUINT32(store.Get(), MF_MT_AVG_BITRATE, 42), 42u);
  ASSERT_EQ(store->SetUINT64(MF_MT_AVG_BITRATE, 5), S_OK);
  EXPECT_EQ(store->GetUINT32(MF_MT_AVG_BITRATE, &value), MF_E_INVALIDTYPE);
  EXPECT_EQ(MFGetAttributeUINT32(store.Get(), MF_MT_AVG_BITRATE, 77), 77u);
  GUID guid{};
  EXPECT_EQ(store->GetGUID(MF_MT_AVG_BITRATE, &guid), MF_E_INVALIDTYPE);
  // Setting a key again replaces its value and its type.
  ASSERT_EQ(store->SetUINT32(MF_MT_AVG_BITRATE, 6000000), S_OK);
  EXPECT_EQ(store->GetUINT32(MF_MT_AVG_BITRATE, &value), S_OK);
  EXPECT_EQ(value, 6000000u);
  UINT32 count = 0;
  ASSERT_EQ(store->GetCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
}

// The store counts, deletes, copies and compares items as a whole; the
// recorder copies the negotiated audio type this way.
TEST_F(MfObjects, AttributeStoreCopyCompareDelete) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  ComRef<IMFAttributes> mine, theirs;
  ASSERT_EQ(MFCreateAttributes(mine.Put(), 4), S_OK);
  ASSERT_EQ(MFCreateAttributes(theirs.Put(), 4), S_OK);
  ASSERT_EQ(mine->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio), S_OK);
  ASSERT_EQ(mine->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, 2), S_OK);
  ASSERT_EQ(mine->SetDouble(MF_MT_AVG_BITRATE, 0.5), S_OK);
  ASSERT_EQ(theirs->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, 44100), S_OK);
  // CopyAllItems replaces what the destination held.
  ASSERT_EQ(mine->CopyAllItems(theirs.Get()), S_OK);
  UINT32 count = 0;
  ASSERT_EQ(theirs->GetCount(&count), S_OK);
  EXPECT_EQ(count, 3u);
  BOOL same = FALSE;
  ASSERT_EQ(mine->Compare(theirs.Get(), MF_ATTRIBUTES_MATCH_ALL_ITEMS, &same), S_OK);
  EXPECT_TRUE(same);
  ASSERT_EQ(theirs->DeleteItem(MF_MT_AUDIO_NUM_CHANNELS), S_OK);
  ASSERT_EQ(mine->Compare(theirs.Get(), MF_ATTRIBUTES_MATCH_ALL_ITEMS, &same), S_OK);
  EXPECT_FALSE(same);
  ASSERT_EQ(mine->Compare(theirs.Get(), MF_ATTRIBUTES_MATCH_THEIR_ITEMS, &same), S_OK);
  EXPECT_TRUE(same) << "every item they hold matches ours";
  ASSERT_EQ(theirs->DeleteAllItems(), S_OK);
  ASSERT_EQ(theirs->GetCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
}

// Strings: the length excludes the terminator, a buffer without room for it
// is refused, and the allocated copy is task memory.
TEST_F(MfObjects, StringAttributes) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  ComRef<IMFAttributes> store;
  ASSERT_EQ(MFCreateAttributes(store.Put(), 1), S_OK);
  ASSERT_EQ(store->SetString(MF_MT_SUBTYPE, L"morl"), S_OK);
  UINT32 length = 0;
  ASSERT_EQ(store->GetStringLength(MF_MT_SUBTYPE, &length), S_OK);
  EXPECT_EQ(length, 4u);
  wchar_t small[4];
  EXPECT_TRUE(FAILED(store->GetString(MF_MT_SUBTYPE, small, 4, &length)));
  wchar_t fits[5];
  ASSERT_EQ(store->GetString(MF_MT_SUBTYPE, fits, 5, &length), S_OK);
  EXPECT_EQ(std::wstring(fits), L"morl");
  LPWSTR copy = nullptr;
  ASSERT_EQ(store->GetAllocatedString(MF_MT_SUBTYPE, &copy, &length), S_OK);
  EXPECT_EQ(std::wstring(copy), L"morl");
  EXPECT_EQ(length, 4u);
  CoTaskMemFree(copy);
  // Lengths count UTF-16 units, not bytes of any other encoding.
  ASSERT_EQ(store->SetString(MF_MT_SUBTYPE, L"x\u00e9"), S_OK);
  ASSERT_EQ(store->GetStringLength(MF_MT_SUBTYPE, &length), S_OK);
  EXPECT_EQ(length, 2u);
  wchar_t two[2];
  EXPECT_EQ(store->GetString(MF_MT_SUBTYPE, two, 2, nullptr),
            HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_EQ(store->GetAllocatedString(MF_MT_SUBTYPE, &copy, &length), S_OK);
  EXPECT_EQ(std::wstring(copy), L"x\u00e9");
  CoTaskMemFree(copy);
}

TEST_F(MfObjects, BlobAttributes) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  ComRef<IMFAttributes> store;
  ASSERT_EQ(MFCreateAttributes(store.Put(), 1), S_OK);
  const UINT8 config[] = {0x12, 0x10, 0x56, 0xE5, 0x00};
  ASSERT_EQ(store->SetBlob(MF_MT_AAC_AUDIO_PROFILE_LEVEL_INDICATION, config, sizeof(config)), S_OK);
  UINT32 size = 0;
  ASSERT_EQ(store->GetBlobSize(MF_MT_AAC_AUDIO_PROFILE_LEVEL_INDICATION, &size), S_OK);
  EXPECT_EQ(size, sizeof(config));
  UINT8 small[2];
  EXPECT_TRUE(FAILED(store->GetBlob(MF_MT_AAC_AUDIO_PROFILE_LEVEL_INDICATION, small, 2, &size)));
  UINT8 copy[8] = {};
  ASSERT_EQ(store->GetBlob(MF_MT_AAC_AUDIO_PROFILE_LEVEL_INDICATION, copy, sizeof(copy), &size),
            S_OK);
  ASSERT_EQ(size, sizeof(config));
  EXPECT_EQ(std::memcmp(copy, config, sizeof(config)), 0);
}

// A media type copied item by item through its attribute store holds every
// item of its source, also once it gains one of its own.
TEST_F(MfObjects, MediaTypeCopyHoldsEveryItemOfItsSource) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  ComRef<IMFMediaType> type, copy;
  ASSERT_EQ(MFCreateMediaType(type.Put()), S_OK);
  ASSERT_EQ(MFCreateMediaType(copy.Put()), S_OK);
  ASSERT_EQ(type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video), S_OK);
  ASSERT_EQ(MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, 1920, 1080), S_OK);
  ASSERT_EQ(MFSetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, 15, 1), S_OK);
  ASSERT_EQ(type->SetString(MF_MT_SUBTYPE, L"x\u00e9"), S_OK);
  ComRef<IMFAttributes> as_attributes;
  ASSERT_EQ(type->QueryInterface(IID_PPV_ARGS(as_attributes.Put())), S_OK);
  EXPECT_EQ(as_attributes->CopyAllItems(copy.Get()), S_OK);
  ASSERT_EQ(copy->SetUINT32(MF_MT_AVG_BITRATE, 1), S_OK);
  BOOL ours_in_theirs = FALSE;
  EXPECT_EQ(type->Compare(copy.Get(), MF_ATTRIBUTES_MATCH_OUR_ITEMS, &ours_in_theirs), S_OK);
  EXPECT_TRUE(ours_in_theirs);
}

// A media type without a major type cannot say what it is.
TEST_F(MfObjects, MediaTypeMajorTypeComesFromItsAttribute) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  ComRef<IMFMediaType> type;
  ASSERT_EQ(MFCreateMediaType(type.Put()), S_OK);
  GUID major{};
  EXPECT_TRUE(FAILED(type->GetMajorType(&major)));
  ASSERT_EQ(type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video), S_OK);
  ASSERT_EQ(type->GetMajorType(&major), S_OK);
  EXPECT_TRUE(IsEqualGUID(major, MFMediaType_Video));
  ComRef<IMFAttributes> as_attributes;
  ASSERT_EQ(type->QueryInterface(IID_PPV_ARGS(as_attributes.Put())), S_OK);
  UINT32 count = 0;
  ASSERT_EQ(as_attributes->GetCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
}

// ---- Memory buffers ------------------------------------------------------

// A new buffer holds nothing; its current length can grow to its maximum
// and not past it; Lock reports both lengths and the bytes stay put.
TEST_F(MfObjects, MemoryBufferLengths) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  ComRef<IMFMediaBuffer> buffer;
  ASSERT_EQ(MFCreateMemoryBuffer(100, buffer.Put()), S_OK);
  DWORD max_length = 0, current = 99;
  ASSERT_EQ(buffer->GetMaxLength(&max_length), S_OK);
  EXPECT_EQ(max_length, 100u);
  ASSERT_EQ(buffer->GetCurrentLength(&current), S_OK);
  EXPECT_EQ(current, 0u);
  EXPECT_EQ(buffer->SetCurrentLength(101), E_INVALIDARG);
  ASSERT_EQ(buffer->SetCurrentLength(100), S_OK);
  BYTE* bytes = nullptr;
  ASSERT_EQ(buffer->Lock(&bytes, &max_length, &current), S_OK);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(max_length, 100u);
  EXPECT_EQ(current, 100u);
  std::memset(bytes, 0x5A, 100);
  ASSERT_EQ(buffer->Unlock(), S_OK);
  ASSERT_EQ(buffer->Lock(&bytes, nullptr, nullptr), S_OK);
  EXPECT_EQ(bytes[99], 0x5A);
  ASSERT_EQ(buffer->Unlock(), S_OK);
  ASSERT_EQ(buffer->SetCurrentLength(0), S_OK);
}

// ---- Samples -------------------------------------------------------------

// A fresh sample has no time and no duration, each its own error; set
// values read back exactly in 100-ns units, negative times included.
TEST_F(MfObjects, SampleTimeAndDuration) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  ComRef<IMFSample> sample;
  ASSERT_EQ(MFCreateSample(sample.Put()), S_OK);
  LONGLONG value = 0;
  EXPECT_EQ(sample->GetSampleTime(&value), MF_E_NO_SAMPLE_TIMESTAMP);
  EXPECT_EQ(sample->GetSampleDuration(&value), MF_E_NO_SAMPLE_DURATION);
  for (const LONGLONG time : {0LL, 333333LL, -10000LL, 0x7FFFFFFFFFFFLL}) {
    ASSERT_EQ(sample->SetSampleTime(time), S_OK);
    ASSERT_EQ(sample->GetSampleTime(&value), S_OK);
    EXPECT_EQ(value, time);
  }
  ASSERT_EQ(sample->SetSampleDuration(166667), S_OK);
  ASSERT_EQ(sample->GetSampleDuration(&value), S_OK);
  EXPECT_EQ(value, 166667);
}

// Buffers are counted and indexed in the order added; the total is the sum
// of current lengths; a contiguous copy joins them in that order and
// replaces them with one buffer.
TEST_F(MfObjects, SampleBuffersJoinInOrder) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  ComRef<IMFSample> sample;
  ASSERT_EQ(MFCreateSample(sample.Put()), S_OK);
  const char* parts[] = {"abc", "defgh"};
  for (const char* part : parts) {
    ComRef<IMFMediaBuffer> buffer;
    const DWORD size = static_cast<DWORD>(std::strlen(part));
    ASSERT_EQ(MFCreateMemoryBuffer(size + 8, buffer.Put()), S_OK);
    BYTE* bytes = nullptr;
    ASSERT_EQ(buffer->Lock(&bytes, nullptr, nullptr), S_OK);
    std::memcpy(bytes, part, size);
    ASSERT_EQ(buffer->Unlock(), S_OK);
    ASSERT_EQ(buffer->SetCurrentLength(size), S_OK);
    ASSERT_EQ(sample->AddBuffer(buffer.Get()), S_OK);
  }
  DWORD count = 0, total = 0;
  ASSERT_EQ(sample->GetBufferCount(&count), S_OK);
  EXPECT_EQ(count, 2u);
  ASSERT_EQ(sample->GetTotalLength(&total), S_OK);
  EXPECT_EQ(total, 8u);
  ComRef<IMFMediaBuffer> missing;
  EXPECT_TRUE(FAILED(sample->GetBufferByIndex(2, missing.Put())));
  ComRef<IMFMediaBuffer> joined;
  ASSERT_EQ(sample->ConvertToContiguousBuffer(joined.Put()), S_OK);
  BYTE* bytes = nullptr;
  DWORD current = 0;
  ASSERT_EQ(joined->Lock(&bytes, nullptr, &current), S_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), current), "abcdefgh");
  ASSERT_EQ(joined->Unlock(), S_OK);
  ASSERT_EQ(sample->GetBufferCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(sample->GetBufferByIndex(1, missing.Put()), E_INVALIDARG);
  ComRef<IMFMediaBuffer> small;
  ASSERT_EQ(MFCreateMemoryBuffer(6, small.Put()), S_OK);
  EXPECT_EQ(sample->CopyToBuffer(small.Get()), MF_E_BUFFERTOOSMALL);
  ASSERT_EQ(sample->RemoveAllBuffers(), S_OK);
  ASSERT_EQ(sample->GetBufferCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
}

// A sample with one buffer hands back that very buffer as contiguous.
TEST_F(MfObjects, SingleBufferIsItsOwnContiguousBuffer) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  ComRef<IMFSample> sample;
  ComRef<IMFMediaBuffer> buffer, contiguous;
  ASSERT_EQ(MFCreateSample(sample.Put()), S_OK);
  ASSERT_EQ(MFCreateMemoryBuffer(16, buffer.Put()), S_OK);
  ASSERT_EQ(sample->AddBuffer(buffer.Get()), S_OK);
  ASSERT_EQ(sample->ConvertToContiguousBuffer(contiguous.Put()), S_OK);
  EXPECT_EQ(contiguous.Get(), buffer.Get());
}

// Samples are attribute stores too (the recorder marks key frames there).
TEST_F(MfObjects, SampleCarriesAttributes) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  ComRef<IMFSample> sample;
  ASSERT_EQ(MFCreateSample(sample.Put()), S_OK);
  ASSERT_EQ(sample->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE), S_OK);
  EXPECT_EQ(MFGetAttributeUINT32(sample.Get(), MF_MT_ALL_SAMPLES_INDEPENDENT, FALSE),
            static_cast<UINT32>(TRUE));
  ComRef<IMFAttributes> as_attributes;
  EXPECT_EQ(sample->QueryInterface(IID_PPV_ARGS(as_attributes.Put())), S_OK);
}

}  // namespace
