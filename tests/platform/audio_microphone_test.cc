#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <mmdeviceapi.h>
#include <mmreg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "audio_test_support.h"

namespace {

using audio_test::AudioTest;
using audio_test::ComRef;
using audio_test::kMs;
using audio_test::kNotFound;

// Opens the microphone the way the recorder does: device source for the
// default capture endpoint's id, a reader, and a request for 16-bit PCM
// with only major type, sub-type and sample size set.
HRESULT OpenMicrophone(ComRef<IMFSourceReader>* reader, const wchar_t* endpoint_id = nullptr) {
  ComRef<IMFAttributes> attributes;
  EXPECT_EQ(MFCreateAttributes(attributes.Put(), 2), S_OK);
  attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                      MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID);
  const std::wstring id = endpoint_id != nullptr
                              ? endpoint_id
                              : winsim::CaptureEndpoint().value_or(winsim::AudioEndpoint{}).id;
  attributes->SetString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID, id.c_str());
  ComRef<IMFMediaSource> source;
  if (HRESULT hr = MFCreateDeviceSource(attributes.Get(), source.Put()); FAILED(hr)) return hr;
  if (HRESULT hr = MFCreateSourceReaderFromMediaSource(source.Get(), nullptr, reader->Put());
      FAILED(hr)) {
    source->Shutdown();
    return hr;
  }
  ComRef<IMFMediaType> pcm;
  EXPECT_EQ(MFCreateMediaType(pcm.Put()), S_OK);
  pcm->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
  pcm->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
  pcm->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
  return (*reader)->SetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, nullptr, pcm.Get());
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
  ComRef<IMFSample> sample;
  r.hr = reader->ReadSample(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, &index, &r.flags, &r.timestamp,
                            sample.Put());
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

// The loudest sample of each channel of one buffer, as a fraction of full
// scale, for integer PCM of 8 to 32 bits or 32-bit float.
std::vector<double> ChannelPeaks(IMFSample* sample, UINT32 channels, UINT32 bits, bool is_float) {
  std::vector<double> peaks(channels, 0.0);
  ComRef<IMFMediaBuffer> buffer;
  EXPECT_EQ(sample->ConvertToContiguousBuffer(buffer.Put()), S_OK);
  BYTE* data = nullptr;
  DWORD length = 0;
  EXPECT_EQ(buffer->Lock(&data, nullptr, &length), S_OK);
  const UINT32 bytes = bits / 8;
  for (DWORD at = 0; at + bytes <= length; at += bytes) {
    const BYTE* p = data + at;
    double v = 0;
    if (is_float) {
      float f = 0;
      std::memcpy(&f, p, 4);
      v = f;
    } else if (bits == 8) {
      v = (p[0] - 128) / 127.0;
    } else {
      std::int32_t s = 0;  // little-endian, sign taken from the top byte
      std::memcpy(reinterpret_cast<BYTE*>(&s) + (4 - bytes), p, bytes);
      v = s / 2147483647.0;
    }
    double& peak = peaks[(at / bytes) % channels];
    peak = std::max(peak, std::fabs(v));
  }
  buffer->Unlock();
  return peaks;
}

// The reader converts to the rate, channel count, sample size and speaker
// layout asked for, as Windows' reader does through its resampler; what the
// resampler cannot produce is refused and leaves the type as it was.
TEST_F(MicrophoneSourceTest, ConvertsToTheTypeAskedFor) {
  constexpr UINT32 kUnset = 0;
  constexpr double kSide = 0.70710678;  // -3 dB
  struct Case {
    const char* name;
    UINT32 mic_rate, mic_channels;
    std::uint32_t sounding;  // channel bits of the device that carry the tone
    GUID subtype;
    UINT32 bits, rate, channels, mask;  // kUnset: left out of the type
    HRESULT expected;
    UINT32 bytes;                // of a 10-ms buffer
    std::vector<double> levels;  // peak of each output channel
  } cases[] = {
      {"device's own", 48000, 2, ~0u, MFAudioFormat_PCM, 16, kUnset, kUnset, kUnset, S_OK, 1920,
       {0.5, 0.5}},
      {"16 kHz headset to 48 kHz stereo", 16000, 1, ~0u, MFAudioFormat_PCM, 16, 48000, 2, kUnset,
       S_OK, 1920, {0.5, 0.5}},
      {"4-channel array to stereo", 48000, 4, ~0u, MFAudioFormat_PCM, 16, 48000, 2, kUnset, S_OK,
       1920, {0.5, 0.5}},
      {"96 kHz interface", 96000, 2, ~0u, MFAudioFormat_PCM, 16, 48000, kUnset, kUnset, S_OK, 1920,
       {0.5, 0.5}},
      {"5.1 centre into both sides", 48000, 6, 1u << 2, MFAudioFormat_PCM, 16, 48000, 2, kUnset,
       S_OK, 1920, {0.5 * kSide / (1 + 2 * kSide), 0.5 * kSide / (1 + 2 * kSide)}},
      {"stereo left only, to mono", 48000, 2, 1u << 0, MFAudioFormat_PCM, 16, 48000, 1, kUnset,
       S_OK, 960, {0.25}},
      {"8-bit 8 kHz mono", 44100, 1, ~0u, MFAudioFormat_PCM, 8, 8000, 1, kUnset, S_OK, 80, {0.5}},
      {"24-bit", 48000, 2, ~0u, MFAudioFormat_PCM, 24, kUnset, kUnset, kUnset, S_OK, 2880,
       {0.5, 0.5}},
      {"float 192 kHz", 48000, 1, ~0u, MFAudioFormat_Float, 32, 192000, kUnset, kUnset, S_OK, 7680,
       {0.5}},
      {"stereo to 5.1: fronts only", 48000, 2, ~0u, MFAudioFormat_PCM, 16, 48000, 6, kUnset, S_OK,
       5760, {0.5, 0.5, 0, 0, 0, 0}},
      {"12-bit PCM", 48000, 2, ~0u, MFAudioFormat_PCM, 12, kUnset, kUnset, kUnset,
       MF_E_INVALIDMEDIATYPE, 0, {}},
      {"16-bit float", 48000, 2, ~0u, MFAudioFormat_Float, 16, kUnset, kUnset, kUnset,
       MF_E_INVALIDMEDIATYPE, 0, {}},
      {"rate below 8 kHz", 48000, 2, ~0u, MFAudioFormat_PCM, 16, 7999, kUnset, kUnset,
       MF_E_INVALIDMEDIATYPE, 0, {}},
      {"rate above 192 kHz", 48000, 2, ~0u, MFAudioFormat_PCM, 16, 192001, kUnset, kUnset,
       MF_E_INVALIDMEDIATYPE, 0, {}},
      {"nine channels", 48000, 2, ~0u, MFAudioFormat_PCM, 16, kUnset, 9, kUnset,
       MF_E_INVALIDMEDIATYPE, 0, {}},
      {"more speakers than channels", 48000, 2, ~0u, MFAudioFormat_PCM, 16, kUnset, 2, 0x7,
       MF_E_INVALIDMEDIATYPE, 0, {}},
      {"compressed", 48000, 2, ~0u, MFAudioFormat_AAC, 16, kUnset, kUnset, kUnset,
       MF_E_INVALIDMEDIATYPE, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::ResetAudio();
    winsim::AudioEndpoint device = *winsim::CaptureEndpoint();
    device.format.channels = static_cast<WORD>(c.mic_channels);
    device.format.rate = c.mic_rate;
    device.signal.sounding_channels = c.sounding;
    winsim::SetCaptureEndpoint(device);
    winsim::MicrophoneSource mic;
    mic.rate = c.mic_rate;
    mic.channels = c.mic_channels;
    winsim::SetMicrophoneSource(mic);
    ComRef<IMFSourceReader> reader;
    ASSERT_EQ(OpenMicrophone(&reader), S_OK);

    ComRef<IMFMediaType> asked;
    ASSERT_EQ(MFCreateMediaType(asked.Put()), S_OK);
    asked->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    asked->SetGUID(MF_MT_SUBTYPE, c.subtype);
    const std::pair<const GUID*, UINT32> values[] = {{&MF_MT_AUDIO_BITS_PER_SAMPLE, c.bits},
                                                     {&MF_MT_AUDIO_SAMPLES_PER_SECOND, c.rate},
                                                     {&MF_MT_AUDIO_NUM_CHANNELS, c.channels},
                                                     {&MF_MT_AUDIO_CHANNEL_MASK, c.mask}};
    for (const auto& [key, value] : values) {
      if (value != kUnset) asked->SetUINT32(*key, value);
    }
    ASSERT_EQ(
        reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, nullptr, asked.Get()),
        c.expected);

    ComRef<IMFMediaType> current;
    ASSERT_EQ(reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, current.Put()),
              S_OK);
    const bool took = c.expected == S_OK;
    const UINT32 rate = took && c.rate != kUnset ? c.rate : c.mic_rate;
    const UINT32 channels = took && c.channels != kUnset ? c.channels : c.mic_channels;
    const UINT32 bits = took ? c.bits : 16;  // a refused type leaves the 16-bit PCM one
    EXPECT_EQ(Get(current.Get(), MF_MT_AUDIO_SAMPLES_PER_SECOND), rate);
    EXPECT_EQ(Get(current.Get(), MF_MT_AUDIO_NUM_CHANNELS), channels);
    EXPECT_EQ(Get(current.Get(), MF_MT_AUDIO_BITS_PER_SAMPLE), bits);
    EXPECT_EQ(Get(current.Get(), MF_MT_AUDIO_BLOCK_ALIGNMENT), channels * bits / 8);
    EXPECT_EQ(Get(current.Get(), MF_MT_AUDIO_AVG_BYTES_PER_SECOND), channels * bits / 8 * rate);
    if (!took) continue;

    // The second buffer, clear of any start-up: its size and the tone's
    // level on each channel.
    ReadOne(reader.Get());
    DWORD index = 0, flags = 0;
    LONGLONG timestamp = 0;
    ComRef<IMFSample> sample;
    ASSERT_EQ(reader->ReadSample(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, &index, &flags, &timestamp,
                                 sample.Put()),
              S_OK);
    EXPECT_EQ(timestamp, mic.first_timestamp + 10 * kMs);  // stamps stay the device's
    DWORD bytes = 0;
    sample->GetTotalLength(&bytes);
    EXPECT_EQ(bytes, c.bytes);
    const std::vector<double> peaks =
        ChannelPeaks(sample.Get(), channels, bits, c.subtype == MFAudioFormat_Float);
    ASSERT_EQ(peaks.size(), c.levels.size());
    for (std::size_t ch = 0; ch < peaks.size(); ++ch) {
      EXPECT_NEAR(peaks[ch], c.levels[ch], 0.01) << "channel " << ch;
    }
  }
}

// The native type names the device's speakers: 5.1 as Windows lays it out
// (side surrounds), a mono microphone as the front centre.
TEST_F(MicrophoneSourceTest, NativeTypeCarriesTheSpeakerLayout) {
  const std::pair<UINT32, UINT32> cases[] = {{1, SPEAKER_FRONT_CENTER},
                                             {2, SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT},
                                             {6, 0x60F},
                                             {8, 0x63F}};
  for (const auto& [channels, mask] : cases) {
    SCOPED_TRACE(channels);
    winsim::AudioEndpoint device = *winsim::CaptureEndpoint();
    device.format.channels = static_cast<WORD>(channels);
    winsim::SetCaptureEndpoint(device);
    winsim::MicrophoneSource mic;
    mic.channels = channels;
    winsim::SetMicrophoneSource(mic);
    ComRef<IMFSourceReader> reader;
    ASSERT_EQ(OpenMicrophone(&reader), S_OK);
    ComRef<IMFMediaType> native;
    ASSERT_EQ(reader->GetNativeMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, native.Put()),
              S_OK);
    EXPECT_EQ(Get(native.Get(), MF_MT_AUDIO_CHANNEL_MASK), mask);
    EXPECT_EQ(Get(native.Get(), MF_MT_AUDIO_BITS_PER_SAMPLE), 32u);
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
    ComRef<IMFSourceReader> reader;
    ASSERT_EQ(OpenMicrophone(&reader), S_OK);
    const LONGLONG start = Now();
    for (int i = 0; i < 3; ++i) {
      const Read r = ReadOne(reader.Get());
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
    EXPECT_EQ(ReadOne(reader.Get()).timestamp, mic.first_timestamp + 30 * kMs);
    EXPECT_EQ(Now(), behind);
  }
}

TEST_F(MicrophoneSourceTest, StreamEndsWhenTheSourceShutsDownOrRunsOut) {
  winsim::MicrophoneSource mic;
  mic.buffers_before_end = 2;
  winsim::SetMicrophoneSource(mic);
  ComRef<IMFSourceReader> reader;
  ASSERT_EQ(OpenMicrophone(&reader), S_OK);
  EXPECT_EQ(ReadOne(reader.Get()).bytes, 1920u);
  EXPECT_EQ(ReadOne(reader.Get()).bytes, 1920u);
  const Read end = ReadOne(reader.Get());
  EXPECT_EQ(end.hr, S_OK);
  EXPECT_EQ(end.flags, static_cast<DWORD>(MF_SOURCE_READERF_ENDOFSTREAM));
  EXPECT_EQ(end.bytes, 0u);

  winsim::SetMicrophoneSource(winsim::MicrophoneSource{});
  ComRef<IMFAttributes> attributes;
  ASSERT_EQ(MFCreateAttributes(attributes.Put(), 1), S_OK);
  attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                      MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID);
  ComRef<IMFMediaSource> source;
  ASSERT_EQ(MFCreateDeviceSource(attributes.Get(), source.Put()), S_OK);
  ASSERT_EQ(MFCreateSourceReaderFromMediaSource(source.Get(), nullptr, reader.Put()), S_OK);
  EXPECT_EQ(ReadOne(reader.Get()).hr, S_OK);
  EXPECT_EQ(source->Shutdown(), S_OK);
  EXPECT_EQ(ReadOne(reader.Get()).flags, static_cast<DWORD>(MF_SOURCE_READERF_ENDOFSTREAM));
}

// Sign changes of the first channel in `buffers` 10-ms buffers of 16-bit
// PCM: twice the tone's frequency over 10 x `buffers` ms.
int SignChanges(IMFSourceReader* reader, int buffers) {
  int changes = 0;
  bool negative = false;
  for (int b = 0; b < buffers; ++b) {
    DWORD index = 0, flags = 0;
    LONGLONG timestamp = 0;
    ComRef<IMFSample> sample;
    EXPECT_EQ(reader->ReadSample(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, &index, &flags, &timestamp,
                                 sample.Put()),
              S_OK);
    if (!sample) return -1;
    ComRef<IMFMediaBuffer> buffer;
    EXPECT_EQ(sample->ConvertToContiguousBuffer(buffer.Put()), S_OK);
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
    ComRef<IMFSourceReader> reader;
    ASSERT_EQ(OpenMicrophone(&reader, c.id), S_OK);
    EXPECT_NEAR(SignChanges(reader.Get(), 5), c.changes, 1);
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
    ComRef<IMFSourceReader> reader;
    EXPECT_EQ(OpenMicrophone(&reader, c.endpoint_id), c.expected);
  }
  winsim::ResetAudio();
  ComRef<IMFSourceReader> reader;
  ASSERT_EQ(OpenMicrophone(&reader), S_OK);
  winsim::FailCall("IMFSourceReader::ReadSample", E_UNEXPECTED);
  EXPECT_EQ(ReadOne(reader.Get()).hr, E_UNEXPECTED);
  EXPECT_EQ(ReadOne(reader.Get()).hr, S_OK);
}

}  // namespace
