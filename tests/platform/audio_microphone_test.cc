#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <mmdeviceapi.h>

#include <cstdint>

#include "audio_test_support.h"

namespace {

using audio_test::AudioTest;
using audio_test::kMs;
using audio_test::kNotFound;
using audio_test::Out;
using audio_test::Ref;

// Opens the microphone the way the recorder does: device source for the
// default capture endpoint's id, a reader, and a request for 16-bit PCM
// with only major type, sub-type and sample size set.
HRESULT OpenMicrophone(Ref<IMFSourceReader>* reader, const wchar_t* endpoint_id = nullptr) {
  Ref<IMFAttributes> attributes;
  EXPECT_EQ(MFCreateAttributes(Out(attributes), 2), S_OK);
  attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                      MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID);
  const std::wstring id = endpoint_id != nullptr
                              ? endpoint_id
                              : winsim::CaptureEndpoint().value_or(winsim::AudioEndpoint{}).id;
  attributes->SetString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID, id.c_str());
  Ref<IMFMediaSource> source;
  if (HRESULT hr = MFCreateDeviceSource(attributes.get(), Out(source)); FAILED(hr)) return hr;
  if (HRESULT hr = MFCreateSourceReaderFromMediaSource(source.get(), nullptr, Out(*reader));
      FAILED(hr)) {
    source->Shutdown();
    return hr;
  }
  Ref<IMFMediaType> pcm;
  EXPECT_EQ(MFCreateMediaType(Out(pcm)), S_OK);
  pcm->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
  pcm->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
  pcm->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
  return (*reader)->SetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, nullptr, pcm.get());
}

UINT32 Get(IMFMediaType* type, REFGUID key) {
  UINT32 value = 0;
  EXPECT_EQ(type->GetUINT32(key, &value), S_OK);
  return value;
}

struct Read {
  HRESULT hr;
  DWORD flags;
  LONGLONG timestamp;
  DWORD bytes;
  LONGLONG duration;
};

Read ReadOne(IMFSourceReader* reader) {
  Read r{};
  DWORD index = 0;
  Ref<IMFSample> sample;
  r.hr = reader->ReadSample(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, &index, &r.flags, &r.timestamp,
                            Out(sample));
  if (sample) {
    sample->GetTotalLength(&r.bytes);
    sample->GetSampleDuration(&r.duration);
  }
  return r;
}

LONGLONG Now() {
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

using MicrophoneSourceTest = AudioTest;

TEST_F(MicrophoneSourceTest, PcmTypeFollowsTheDevice) {
  struct Case {
    UINT32 rate, channels;
  } cases[] = {{48000, 2}, {44100, 1}, {16000, 6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz x " << c.channels);
    winsim::MicrophoneSource mic;
    mic.rate = c.rate;
    mic.channels = c.channels;
    winsim::SetMicrophoneSource(mic);
    Ref<IMFSourceReader> reader;
    ASSERT_EQ(OpenMicrophone(&reader), S_OK);
    Ref<IMFMediaType> type;
    ASSERT_EQ(reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, Out(type)), S_OK);
    GUID subtype{};
    type->GetGUID(MF_MT_SUBTYPE, &subtype);
    EXPECT_EQ(subtype, MFAudioFormat_PCM);
    EXPECT_EQ(Get(type.get(), MF_MT_AUDIO_SAMPLES_PER_SECOND), c.rate);
    EXPECT_EQ(Get(type.get(), MF_MT_AUDIO_NUM_CHANNELS), c.channels);
    EXPECT_EQ(Get(type.get(), MF_MT_AUDIO_BITS_PER_SAMPLE), 16u);
    EXPECT_EQ(Get(type.get(), MF_MT_AUDIO_BLOCK_ALIGNMENT), c.channels * 2);

    // A rate or channel count the device does not have is refused.
    Ref<IMFMediaType> other;
    ASSERT_EQ(MFCreateMediaType(Out(other)), S_OK);
    other->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    other->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
    other->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, c.rate + 1);
    EXPECT_EQ(
        reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, nullptr, other.get()),
        MF_E_INVALIDMEDIATYPE);
  }
}

TEST_F(MicrophoneSourceTest, ReadSampleWaitsForEachBufferAndStampsDeviceTime) {
  struct Case {
    UINT32 rate, channels;
    DWORD bytes;
  } cases[] = {{48000, 2, 1920}, {44100, 1, 882}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    winsim::MicrophoneSource mic;
    mic.rate = c.rate;
    mic.channels = c.channels;
    winsim::SetMicrophoneSource(mic);
    Ref<IMFSourceReader> reader;
    ASSERT_EQ(OpenMicrophone(&reader), S_OK);
    const LONGLONG start = Now();
    for (int i = 0; i < 3; ++i) {
      const Read r = ReadOne(reader.get());
      ASSERT_EQ(r.hr, S_OK);
      EXPECT_EQ(r.flags, 0u);
      EXPECT_EQ(r.bytes, c.bytes);
      EXPECT_EQ(r.duration, 10 * kMs);
      EXPECT_EQ(r.timestamp, mic.first_timestamp + i * 10 * kMs);
      // The read returned when the buffer was complete on the machine clock.
      EXPECT_EQ(Now() - start, (i + 1) * 10 * kMs);
    }
    // A reader that fell behind gets the queued buffers at once.
    winsim::AdvanceClock(50 * kMs);
    const LONGLONG behind = Now();
    EXPECT_EQ(ReadOne(reader.get()).timestamp, mic.first_timestamp + 30 * kMs);
    EXPECT_EQ(Now(), behind);
  }
}

TEST_F(MicrophoneSourceTest, StreamEndsWhenTheSourceShutsDownOrRunsOut) {
  winsim::MicrophoneSource mic;
  mic.buffers_before_end = 2;
  winsim::SetMicrophoneSource(mic);
  Ref<IMFSourceReader> reader;
  ASSERT_EQ(OpenMicrophone(&reader), S_OK);
  EXPECT_EQ(ReadOne(reader.get()).bytes, 1920u);
  EXPECT_EQ(ReadOne(reader.get()).bytes, 1920u);
  const Read end = ReadOne(reader.get());
  EXPECT_EQ(end.hr, S_OK);
  EXPECT_EQ(end.flags, static_cast<DWORD>(MF_SOURCE_READERF_ENDOFSTREAM));
  EXPECT_EQ(end.bytes, 0u);

  winsim::SetMicrophoneSource(winsim::MicrophoneSource{});
  Ref<IMFAttributes> attributes;
  ASSERT_EQ(MFCreateAttributes(Out(attributes), 1), S_OK);
  attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                      MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID);
  Ref<IMFMediaSource> source;
  ASSERT_EQ(MFCreateDeviceSource(attributes.get(), Out(source)), S_OK);
  ASSERT_EQ(MFCreateSourceReaderFromMediaSource(source.get(), nullptr, Out(reader)), S_OK);
  EXPECT_EQ(ReadOne(reader.get()).hr, S_OK);
  EXPECT_EQ(source->Shutdown(), S_OK);
  EXPECT_EQ(ReadOne(reader.get()).flags, static_cast<DWORD>(MF_SOURCE_READERF_ENDOFSTREAM));
}

// Sign changes of the first channel in `buffers` 10-ms buffers of 16-bit
// PCM: twice the tone's frequency over 10 x `buffers` ms.
int SignChanges(IMFSourceReader* reader, int buffers) {
  int changes = 0;
  bool negative = false;
  for (int b = 0; b < buffers; ++b) {
    DWORD index = 0, flags = 0;
    LONGLONG timestamp = 0;
    Ref<IMFSample> sample;
    EXPECT_EQ(reader->ReadSample(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, &index, &flags, &timestamp,
                                 Out(sample)),
              S_OK);
    if (!sample) return -1;
    Ref<IMFMediaBuffer> buffer;
    EXPECT_EQ(sample->ConvertToContiguousBuffer(Out(buffer)), S_OK);
    BYTE* data = nullptr;
    DWORD length = 0;
    EXPECT_EQ(buffer->Lock(&data, nullptr, &length), S_OK);
    const auto* pcm = reinterpret_cast<const std::int16_t*>(data);
    for (DWORD i = 0; i < length / 4; ++i) {  // stereo frames
      const bool now_negative = pcm[2 * i] < 0;
      if (b + i > 0 && now_negative != negative) ++changes;
      negative = now_negative;
    }
    buffer->Unlock();
  }
  return changes;
}

// Opened by its id, a microphone other than the default one sounds its own
// endpoint's tone; the default one sounds the microphone source's.
TEST_F(MicrophoneSourceTest, ChosenMicrophoneSoundsItsOwnTone) {
  winsim::AudioEndpoint built_in = *winsim::CaptureEndpoint();
  winsim::AudioEndpoint headset = built_in;
  headset.id = L"{headset}";
  headset.signal.tone_hz = 700;
  winsim::SetCaptureEndpoints({headset, built_in}, 1);
  struct Case {
    const wchar_t* id;
    int changes;  // in 50 ms
  } cases[] = {{L"{headset}", 70}, {built_in.id.c_str(), 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.changes);
    Ref<IMFSourceReader> reader;
    ASSERT_EQ(OpenMicrophone(&reader, c.id), S_OK);
    EXPECT_NEAR(SignChanges(reader.get(), 5), c.changes, 1);
  }
}

TEST_F(MicrophoneSourceTest, OpenFailures) {
  struct Case {
    const char* name;
    void (*arrange)();
    const wchar_t* endpoint_id;
    HRESULT expected;
  } cases[] = {
      {"refused by privacy settings",
       [] {
         winsim::MicrophoneSource mic;
         mic.refused = true;
         winsim::SetMicrophoneSource(mic);
       },
       nullptr, E_ACCESSDENIED},
      {"injected", [] { winsim::FailCall("MFCreateDeviceSource", E_ACCESSDENIED); }, nullptr,
       E_ACCESSDENIED},
      {"unknown endpoint", [] {}, L"{gone}", kNotFound},
      {"a playback endpoint", [] {}, L"{0.0.0.00000000}.{5f1c2a10-0001-4c5e-9a41-53494d535044}",
       kNotFound},
      {"a disabled microphone",
       [] {
         winsim::AudioEndpoint off = *winsim::CaptureEndpoint();
         off.id = L"{off}";
         off.state = DEVICE_STATE_DISABLED;
         winsim::SetCaptureEndpoints({*winsim::CaptureEndpoint(), off}, 0);
       },
       L"{off}", kNotFound},
      {"no capture endpoint", [] { winsim::SetCaptureEndpoint(std::nullopt); }, L"x",
       MF_E_NO_CAPTURE_DEVICES_AVAILABLE},
      {"reader", [] { winsim::FailCall("MFCreateSourceReaderFromMediaSource", E_OUTOFMEMORY); },
       nullptr, E_OUTOFMEMORY},
      {"type", [] { winsim::FailCall("IMFSourceReader::SetCurrentMediaType", E_FAIL); }, nullptr,
       E_FAIL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::ResetAudio();
    c.arrange();
    Ref<IMFSourceReader> reader;
    EXPECT_EQ(OpenMicrophone(&reader, c.endpoint_id), c.expected);
  }
  winsim::ResetAudio();
  Ref<IMFSourceReader> reader;
  ASSERT_EQ(OpenMicrophone(&reader), S_OK);
  winsim::FailCall("IMFSourceReader::ReadSample", E_UNEXPECTED);
  EXPECT_EQ(ReadOne(reader.get()).hr, E_UNEXPECTED);
  EXPECT_EQ(ReadOne(reader.get()).hr, S_OK);
}

}  // namespace
