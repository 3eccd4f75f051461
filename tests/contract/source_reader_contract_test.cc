// The microphone through Media Foundation's source reader, opened as the
// recorder opens it: a device source for the default recording endpoint's id,
// a synchronous reader, and a request for 16-bit PCM at the rate and channel
// count the recorder wants. Since Windows 8 the reader converts rate and
// channel count itself, so a 16-kHz headset or a four-channel array reaches
// the encoder as the format it takes.
#include <gtest/gtest.h>
#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support_audio.h"
#include "support_tone.h"
#include "wine_differences.h"

namespace contract {
namespace {

constexpr double kToneHz = 1200.0;  // whole cycles per 10 ms at every rate below
constexpr double kToneLevel = 0.25;
constexpr double kOtherHz = 500.0;  // what the speakers play meanwhile

struct Conversion {
  UINT32 rate;
  UINT32 channels;
};

// The default recording endpoint's id, as the recorder passes it on.
HRESULT DefaultCaptureId(std::wstring* id) {
  ComRef<IMMDeviceEnumerator> enumerator;
  ComRef<IMMDevice> device;
  HRESULT hr = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                IID_IMMDeviceEnumerator, enumerator.PutVoid());
  if (SUCCEEDED(hr)) hr = enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, device.Put());
  LPWSTR text = nullptr;
  if (SUCCEEDED(hr)) hr = device->GetId(&text);
  if (SUCCEEDED(hr)) {
    *id = text;
    CoTaskMemFree(text);
  }
  return hr;
}

HRESULT OpenReader(const std::wstring& id, ComRef<IMFMediaSource>* source,
                   ComRef<IMFSourceReader>* reader) {
  ComRef<IMFAttributes> attributes;
  HRESULT hr = MFCreateAttributes(attributes.Put(), 2);
  if (SUCCEEDED(hr)) {
    hr = attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                             MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID);
  }
  if (SUCCEEDED(hr)) {
    hr = attributes->SetString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID, id.c_str());
  }
  if (SUCCEEDED(hr)) hr = MFCreateDeviceSource(attributes.Get(), source->Put());
  if (SUCCEEDED(hr))
    hr = MFCreateSourceReaderFromMediaSource(source->Get(), nullptr, reader->Put());
  return hr;
}

HRESULT AskForPcm(IMFSourceReader* reader, const Conversion& to) {
  ComRef<IMFMediaType> type;
  HRESULT hr = MFCreateMediaType(type.Put());
  if (FAILED(hr)) return hr;
  type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
  type->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
  type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
  type->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, to.rate);
  type->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, to.channels);
  return reader->SetCurrentMediaType(static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM),
                                     nullptr, type.Get());
}

UINT32 ValueOf(IMFMediaType* type, REFGUID key) {
  UINT32 value = 0;
  return SUCCEEDED(type->GetUINT32(key, &value)) ? value : 0;
}

// What a stretch of reads delivered: the first channel's samples, the frames
// the sample durations account for, and the largest step between one
// sample's end and the next one's timestamp.
struct Heard {
  HRESULT failure = S_OK;
  std::vector<float> first_channel;
  LONGLONG duration_100ns = 0;
  LONGLONG largest_step_100ns = 0;
};

Heard ReadFor(IMFSourceReader* reader, UINT32 channels, std::size_t frames_wanted) {
  Heard heard;
  LONGLONG expected_next = -1;
  for (int reads = 0; reads < 2000 && heard.first_channel.size() < frames_wanted; ++reads) {
    DWORD index = 0;
    DWORD flags = 0;
    LONGLONG timestamp = 0;
    ComRef<IMFSample> sample;
    const HRESULT hr = reader->ReadSample(static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM),
                                          0, &index, &flags, &timestamp, sample.Put());
    if (FAILED(hr) || (flags & MF_SOURCE_READERF_ERROR) != 0) {
      heard.failure = FAILED(hr) ? hr : E_FAIL;
      return heard;
    }
    if (sample.Get() == nullptr) continue;  // a gap or stream tick: no data
    ComRef<IMFMediaBuffer> buffer;
    if (FAILED(sample->ConvertToContiguousBuffer(buffer.Put()))) continue;
    BYTE* data = nullptr;
    DWORD bytes = 0;
    if (FAILED(buffer->Lock(&data, nullptr, &bytes))) continue;
    const DWORD frames = bytes / (2 * channels);
    for (DWORD i = 0; i < frames; ++i) {
      std::int16_t value = 0;
      std::memcpy(&value, data + static_cast<std::size_t>(i) * 2 * channels, 2);
      heard.first_channel.push_back(value / 32768.0f);
    }
    buffer->Unlock();
    LONGLONG duration = 0;
    sample->GetSampleDuration(&duration);
    heard.duration_100ns += duration;
    if (expected_next >= 0) {
      heard.largest_step_100ns =
          std::max<LONGLONG>(heard.largest_step_100ns, std::llabs(timestamp - expected_next));
    }
    expected_next = timestamp + duration;
  }
  return heard;
}

// The reader hands out what was asked for, as the current type says, with
// durations that match the frames and timestamps that follow on, and the
// tone the endpoint hears at its level (a folded channel may differ by the
// mixing rule, so the level is checked within 6 dB) with nothing of the
// other tone.
TEST(MicrophoneSourceReader, ConvertsToTheRequestedRateAndChannels) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  MtaScope apartment;
  ASSERT_EQ(apartment.Result(), S_OK);
  TonesStoppedAtExit tones;
  ASSERT_TRUE(StartTone(ToneTarget::kMicrophone, kToneHz, kToneLevel)) << ToneUnavailableReason();
  ASSERT_TRUE(StartTone(ToneTarget::kSpeakers, kOtherHz, 0.5));
  ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
  std::wstring id;
  ASSERT_EQ(DefaultCaptureId(&id), S_OK);

  const Conversion conversions[] = {{16000, 1}, {8000, 2}, {48000, 1}, {96000, 2}};
  for (const Conversion& to : conversions) {
    SCOPED_TRACE(testing::Message() << to.rate << " Hz, " << to.channels << " channels");
    ComRef<IMFMediaSource> source;
    ComRef<IMFSourceReader> reader;
    ASSERT_EQ(OpenReader(id, &source, &reader), S_OK);
    ASSERT_EQ(AskForPcm(reader.Get(), to), S_OK);
    ComRef<IMFMediaType> current;
    ASSERT_EQ(reader->GetCurrentMediaType(static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM),
                                          current.Put()),
              S_OK);
    EXPECT_EQ(ValueOf(current.Get(), MF_MT_AUDIO_SAMPLES_PER_SECOND), to.rate);
    EXPECT_EQ(ValueOf(current.Get(), MF_MT_AUDIO_NUM_CHANNELS), to.channels);
    EXPECT_EQ(ValueOf(current.Get(), MF_MT_AUDIO_BITS_PER_SAMPLE), 16u);
    EXPECT_EQ(ValueOf(current.Get(), MF_MT_AUDIO_BLOCK_ALIGNMENT), 2 * to.channels);
    EXPECT_EQ(ValueOf(current.Get(), MF_MT_AUDIO_AVG_BYTES_PER_SECOND), 2 * to.channels * to.rate);

    // Half a second once the tone is heard.
    const Heard heard = ReadFor(reader.Get(), to.channels, to.rate * 7 / 10);
    source->Shutdown();
    ASSERT_EQ(heard.failure, S_OK);
    ASSERT_GE(heard.first_channel.size(), to.rate * 7 / 10);
    const double frames = static_cast<double>(heard.first_channel.size());
    EXPECT_NEAR(static_cast<double>(heard.duration_100ns), frames * 1e7 / to.rate, 20'000.0);
    EXPECT_LE(heard.largest_step_100ns, 20'000);  // 2 ms of rounding or a late packet
    const std::vector<float> settled(heard.first_channel.begin() + to.rate / 5,
                                     heard.first_channel.end());
    const double tone = MedianToneAmplitude(settled, to.rate, kToneHz);
    EXPECT_NEAR(DecibelsRelative(tone, kToneLevel), 0.0, 6.0) << "amplitude " << tone;
    EXPECT_LT(ToneAmplitude(settled, to.rate, kOtherHz), kToneLevel / 100);
  }
  EXPECT_EQ(MFShutdown(), S_OK);
}

}  // namespace
}  // namespace contract
