// What the sink writer tests share: media types as the recorder
// builds them, samples from bytes, test pictures and tones, and a fixture
// that leaves the machine clean.
#pragma once

#include <gtest/gtest.h>
#include <mfapi.h>
#include <mfreadwrite.h>
#include <winsim.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "mp4_probe.h"
#include "tests/support/machine_test.h"
#include "win32_support/com_ref.h"

namespace sinktest {

// COM references are held in the recorder's own holder.
using morl::ComRef;

constexpr std::int64_t kFrame = 666666;
constexpr HRESULT kUnsupportedByteStream = static_cast<HRESULT>(0xC00D36C4u);
constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003u);
constexpr HRESULT kDiskFull = static_cast<HRESULT>(0x80070070u);
constexpr HRESULT kPlatformNotInitialized = static_cast<HRESULT>(0xC00D36B0u);

inline std::wstring Wide(const std::string& narrow) {
  return std::wstring(narrow.begin(), narrow.end());
}

inline void VideoType(IMFMediaType* type, bool output, UINT32 width, UINT32 height) {
  type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
  type->SetGUID(MF_MT_SUBTYPE, output ? MFVideoFormat_H264 : MFVideoFormat_RGB32);
  if (output) type->SetUINT32(MF_MT_AVG_BITRATE, 1'500'000);
  MFSetAttributeSize(type, MF_MT_FRAME_SIZE, width, height);
  MFSetAttributeRatio(type, MF_MT_FRAME_RATE, 15, 1);
  MFSetAttributeRatio(type, MF_MT_PIXEL_ASPECT_RATIO, 1, 1);
  type->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
}

inline void AudioType(IMFMediaType* type, bool output, UINT32 rate, UINT32 channels) {
  type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
  type->SetGUID(MF_MT_SUBTYPE, output ? MFAudioFormat_AAC : MFAudioFormat_PCM);
  type->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate);
  type->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels);
  type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
  if (output) {
    type->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, 16000);
  } else {
    type->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, channels * 2);
    type->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, rate * channels * 2);
  }
}

using TypeEdit = std::function<void(IMFMediaType*)>;

inline HRESULT AddStream(IMFSinkWriter* writer, const TypeEdit& edit, DWORD* index) {
  ComRef<IMFMediaType> type;
  EXPECT_EQ(MFCreateMediaType(type.Put()), S_OK);
  edit(type.Get());
  return writer->AddStream(type.Get(), index);
}

inline HRESULT SetInput(IMFSinkWriter* writer, DWORD index, const TypeEdit& edit) {
  ComRef<IMFMediaType> type;
  EXPECT_EQ(MFCreateMediaType(type.Put()), S_OK);
  edit(type.Get());
  return writer->SetInputMediaType(index, type.Get(), nullptr);
}

inline HRESULT WriteBytes(IMFSinkWriter* writer, DWORD index, const std::vector<BYTE>& bytes,
                          std::int64_t time, std::int64_t duration, bool stamp = true) {
  ComRef<IMFMediaBuffer> buffer;
  ComRef<IMFSample> sample;
  EXPECT_EQ(MFCreateMemoryBuffer(static_cast<DWORD>(bytes.size()), buffer.Put()), S_OK);
  BYTE* data = nullptr;
  EXPECT_EQ(buffer->Lock(&data, nullptr, nullptr), S_OK);
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  buffer->Unlock();
  buffer->SetCurrentLength(static_cast<DWORD>(bytes.size()));
  EXPECT_EQ(MFCreateSample(sample.Put()), S_OK);
  sample->AddBuffer(buffer.Get());
  if (stamp) sample->SetSampleTime(time);
  sample->SetSampleDuration(duration);
  return writer->WriteSample(index, sample.Get());
}

// Top half red, bottom half blue, in RGB32 rows of the given order.
inline std::vector<BYTE> Halves(UINT32 width, UINT32 height, bool bottom_up) {
  std::vector<BYTE> pixels(std::size_t(width) * height * 4);
  for (UINT32 row = 0; row < height; ++row) {
    const bool top = (bottom_up ? height - 1 - row : row) < height / 2;
    for (UINT32 x = 0; x < width; ++x) {
      BYTE* p = &pixels[(std::size_t(row) * width + x) * 4];
      p[0] = top ? 0 : 255;
      p[2] = top ? 255 : 0;
    }
  }
  return pixels;
}

inline std::vector<BYTE> Tone(UINT32 rate, UINT32 channels, UINT32 frames) {
  std::vector<BYTE> bytes(std::size_t(frames) * channels * 2);
  for (std::size_t i = 0; i < bytes.size() / 2; ++i) {
    const std::int16_t v = static_cast<std::int16_t>(((i / channels) * 440 * 64 / rate % 64) * 500);
    std::memcpy(&bytes[i * 2], &v, 2);
  }
  return bytes;
}

class SinkWriterTest : public machine_test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);  // the writer needs COM
    ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
  }
  void TearDown() override {
    CoUninitialize();
    winsim::ClearFailures();
    EXPECT_EQ(MFShutdown(), S_OK);
  }

  // A writer as the recorder makes one: throttling disabled unless asked.
  HRESULT Create(const std::string& path, IMFSinkWriter** writer, bool throttled = false) {
    ComRef<IMFAttributes> attributes;
    EXPECT_EQ(MFCreateAttributes(attributes.Put(), 1), S_OK);
    attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, throttled ? 0 : 1);
    return MFCreateSinkWriterFromURL(Wide(path).c_str(), nullptr, attributes.Get(), writer);
  }

  // Video stream 0 of width x height, and audio stream 1 when `rate` is set.
  void Declare(IMFSinkWriter* writer, UINT32 width, UINT32 height, UINT32 rate = 0,
               UINT32 channels = 0) {
    DWORD index = 99;
    ASSERT_EQ(AddStream(
                  writer, [&](IMFMediaType* t) { VideoType(t, true, width, height); }, &index),
              S_OK);
    ASSERT_EQ(index, 0u);
    ASSERT_EQ(SetInput(writer, 0, [&](IMFMediaType* t) { VideoType(t, false, width, height); }),
              S_OK);
    if (rate == 0) return;
    ASSERT_EQ(AddStream(
                  writer, [&](IMFMediaType* t) { AudioType(t, true, rate, channels); }, &index),
              S_OK);
    ASSERT_EQ(index, 1u);
    ASSERT_EQ(SetInput(writer, 1, [&](IMFMediaType* t) { AudioType(t, false, rate, channels); }),
              S_OK);
  }
};

}  // namespace sinktest
