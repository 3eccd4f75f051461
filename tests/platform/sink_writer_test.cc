#include <gtest/gtest.h>
#include <mfapi.h>
#include <mfreadwrite.h>
#include <winsim.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "mp4_probe.h"

namespace {

template <typename T>
struct Ref {
  T* p = nullptr;
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Reset(); }
  void Reset() {
    if (p != nullptr) std::exchange(p, nullptr)->Release();
  }
  T** operator&() { return &p; }
  T* operator->() const { return p; }
  T* get() const { return p; }
};

constexpr std::int64_t kFrame = 666666;
constexpr HRESULT kUnsupportedByteStream = static_cast<HRESULT>(0xC00D36C4u);
constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003u);
constexpr HRESULT kDiskFull = static_cast<HRESULT>(0x80070070u);
constexpr HRESULT kPlatformNotInitialized = static_cast<HRESULT>(0xC00D36B0u);

std::wstring Wide(const std::string& narrow) { return std::wstring(narrow.begin(), narrow.end()); }

void VideoType(IMFMediaType* type, bool output, UINT32 width, UINT32 height) {
  type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
  type->SetGUID(MF_MT_SUBTYPE, output ? MFVideoFormat_H264 : MFVideoFormat_RGB32);
  if (output) type->SetUINT32(MF_MT_AVG_BITRATE, 1'500'000);
  MFSetAttributeSize(type, MF_MT_FRAME_SIZE, width, height);
  MFSetAttributeRatio(type, MF_MT_FRAME_RATE, 15, 1);
  MFSetAttributeRatio(type, MF_MT_PIXEL_ASPECT_RATIO, 1, 1);
  type->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
}

void AudioType(IMFMediaType* type, bool output, UINT32 rate, UINT32 channels) {
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

HRESULT AddStream(IMFSinkWriter* writer, const TypeEdit& edit, DWORD* index) {
  Ref<IMFMediaType> type;
  EXPECT_EQ(MFCreateMediaType(&type), S_OK);
  edit(type.get());
  return writer->AddStream(type.get(), index);
}

HRESULT SetInput(IMFSinkWriter* writer, DWORD index, const TypeEdit& edit) {
  Ref<IMFMediaType> type;
  EXPECT_EQ(MFCreateMediaType(&type), S_OK);
  edit(type.get());
  return writer->SetInputMediaType(index, type.get(), nullptr);
}

HRESULT WriteBytes(IMFSinkWriter* writer, DWORD index, const std::vector<BYTE>& bytes,
                   std::int64_t time, std::int64_t duration, bool stamp = true) {
  Ref<IMFMediaBuffer> buffer;
  Ref<IMFSample> sample;
  EXPECT_EQ(MFCreateMemoryBuffer(static_cast<DWORD>(bytes.size()), &buffer), S_OK);
  BYTE* data = nullptr;
  EXPECT_EQ(buffer->Lock(&data, nullptr, nullptr), S_OK);
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  buffer->Unlock();
  buffer->SetCurrentLength(static_cast<DWORD>(bytes.size()));
  EXPECT_EQ(MFCreateSample(&sample), S_OK);
  sample->AddBuffer(buffer.get());
  if (stamp) sample->SetSampleTime(time);
  sample->SetSampleDuration(duration);
  return writer->WriteSample(index, sample.get());
}

// Top half red, bottom half blue, in RGB32 rows of the given order.
std::vector<BYTE> Halves(UINT32 width, UINT32 height, bool bottom_up) {
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

std::vector<BYTE> Tone(UINT32 rate, UINT32 channels, UINT32 frames) {
  std::vector<BYTE> bytes(std::size_t(frames) * channels * 2);
  for (std::size_t i = 0; i < bytes.size() / 2; ++i) {
    const std::int16_t v = static_cast<std::int16_t>(((i / channels) * 440 * 64 / rate % 64) * 500);
    std::memcpy(&bytes[i * 2], &v, 2);
  }
  return bytes;
}

class SinkWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::ResetSinkWriters();
    winsim::ClearFailures();
    ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
  }
  void TearDown() override {
    winsim::ClearFailures();
    winsim::ResetSinkWriters();
    EXPECT_EQ(MFShutdown(), S_OK);
    EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
  }

  // A writer as the recorder makes one: throttling disabled unless asked.
  HRESULT Create(const std::string& path, IMFSinkWriter** writer, bool throttled = false) {
    Ref<IMFAttributes> attributes;
    EXPECT_EQ(MFCreateAttributes(&attributes, 1), S_OK);
    attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, throttled ? 0 : 1);
    return MFCreateSinkWriterFromURL(Wide(path).c_str(), nullptr, attributes.get(), writer);
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

TEST_F(SinkWriterTest, RecordsCallsStreamsAndSamplesWithoutEncoding) {
  winsim::SetSinkEncoding(false);
  const std::string path = mp4test::TempPath("recorded-only.mp4");
  unlink(path.c_str());
  Ref<IMFSinkWriter> writer;
  ASSERT_EQ(Create(path, &writer), S_OK);
  Declare(writer.get(), 64, 48, 44100, 1);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  auto frame = Halves(64, 48, true);
  frame[0] = 0x11;
  ASSERT_EQ(WriteBytes(writer.get(), 0, frame, 123, kFrame), S_OK);
  ASSERT_EQ(WriteBytes(writer.get(), 1, Tone(44100, 1, 441), 0, 100'000), S_OK);
  // PCM that ends inside a frame loses the partial frame.
  ASSERT_EQ(WriteBytes(writer.get(), 1, std::vector<BYTE>(883), 100'000, 100'000), S_OK);
  ASSERT_EQ(writer->Finalize(), S_OK);

  const auto records = winsim::SinkWriters();
  ASSERT_EQ(records.size(), 1u);
  const auto& r = records[0];
  EXPECT_EQ(r.path, Wide(path));
  EXPECT_TRUE(r.throttling_disabled);
  EXPECT_EQ(r.calls, (std::vector<std::string>{"AddStream", "SetInputMediaType", "AddStream",
                                               "SetInputMediaType", "BeginWriting", "Finalize"}));
  ASSERT_EQ(r.streams.size(), 2u);
  EXPECT_EQ(r.streams[0].subtype, MFVideoFormat_H264);
  EXPECT_EQ(r.streams[0].input_subtype, MFVideoFormat_RGB32);
  EXPECT_EQ(r.streams[0].width, 64u);
  EXPECT_EQ(r.streams[0].height, 48u);
  EXPECT_EQ(r.streams[0].bitrate, 1'500'000u);
  EXPECT_EQ(r.streams[1].subtype, MFAudioFormat_AAC);
  EXPECT_EQ(r.streams[1].input_subtype, MFAudioFormat_PCM);
  EXPECT_EQ(r.streams[1].rate, 44100u);
  EXPECT_EQ(r.streams[1].channels, 1u);
  EXPECT_EQ(r.streams[1].bits, 16u);
  EXPECT_EQ(r.streams[1].bitrate, 128'000u);
  ASSERT_EQ(r.samples.size(), 3u);
  EXPECT_EQ(r.samples[0].stream, 0u);
  EXPECT_EQ(r.samples[0].time, 123);
  EXPECT_EQ(r.samples[0].duration, kFrame);
  EXPECT_EQ(r.samples[0].bytes, 64u * 48 * 4);
  EXPECT_EQ(r.samples[0].first_pixel, 0x00000011u);
  EXPECT_EQ(r.samples[1].stream, 1u);
  EXPECT_EQ(r.samples[1].bytes, 882u);
  EXPECT_EQ(r.samples[2].bytes, 882u);
  EXPECT_TRUE(r.finalized);
  struct stat info {};
  EXPECT_NE(stat(path.c_str(), &info), 0) << "no file is written without encoding";

  winsim::ResetMachine();
  EXPECT_TRUE(winsim::SinkWriters().empty());
  Ref<IMFSinkWriter> next;
  ASSERT_EQ(Create(path, &next), S_OK);
  EXPECT_EQ(stat(path.c_str(), &info), 0) << "encoding is back on after a reset";
}

struct FileCase {
  const char* name;
  UINT32 rate, channels;  // 0: video only
};

TEST_F(SinkWriterTest, WritesAnMp4WithTheDeclaredStreams) {
  const FileCase cases[] = {
      {"video only", 0, 0}, {"48 kHz stereo", 48000, 2}, {"44.1 kHz mono", 44100, 1}};
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = mp4test::TempPath("sink.mp4");
    {
      Ref<IMFSinkWriter> writer;
      ASSERT_EQ(Create(path, &writer), S_OK);
      Declare(writer.get(), 64, 48, c.rate, c.channels);
      ASSERT_EQ(writer->BeginWriting(), S_OK);
      const auto frame = Halves(64, 48, true);
      // Capture times drift late as a busy machine's do.
      std::int64_t t = 150'000, last = 0;
      for (int i = 0; i < 12; ++i, t += kFrame + (i % 3) * 40'000) {
        ASSERT_EQ(WriteBytes(writer.get(), 0, frame, t, kFrame), S_OK);
        last = t;
      }
      if (c.rate != 0) {
        const auto block = Tone(c.rate, c.channels, c.rate / 20);
        for (int i = 0; i < 16; ++i) {
          ASSERT_EQ(WriteBytes(writer.get(), 1, block, i * 500'000, 500'000), S_OK);
        }
      }
      ASSERT_EQ(writer->Finalize(), S_OK);
      EXPECT_TRUE(winsim::SinkWriters().back().finalized);

      const auto streams = mp4test::ProbeMp4(path);
      ASSERT_EQ(streams.size(), c.rate != 0 ? 2u : 1u);
      EXPECT_EQ(streams[0].codec, "h264");
      EXPECT_EQ(streams[0].width, 64);
      EXPECT_EQ(streams[0].height, 48);
      EXPECT_EQ(streams[0].frames, 12);
      EXPECT_NEAR(streams[0].start, 150'000 / 1e7, 0.0005);
      EXPECT_NEAR(streams[0].start + streams[0].duration, (last + kFrame) / 1e7, 0.0005);
      if (c.rate != 0) {
        EXPECT_EQ(streams[1].codec, "aac");
        EXPECT_EQ(streams[1].sample_rate, int(c.rate));
        EXPECT_EQ(streams[1].channels, int(c.channels));
        EXPECT_NEAR(streams[1].duration, 0.8, 0.03);
      }
    }
    winsim::ResetSinkWriters();
  }
}

TEST_F(SinkWriterTest, RowOrderFollowsTheStrideAttribute) {
  const struct {
    const char* name;
    bool has_stride;
    INT32 stride;
    bool bottom_up_data;
  } cases[] = {
      {"no stride: bottom-up like a GDI bitmap", false, 0, true},
      {"negative stride: bottom-up", true, -64 * 4, true},
      {"positive stride: top-down", true, 64 * 4, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = mp4test::TempPath("stride.mp4");
    Ref<IMFSinkWriter> writer;
    ASSERT_EQ(Create(path, &writer), S_OK);
    DWORD index = 0;
    ASSERT_EQ(AddStream(
                  writer.get(), [](IMFMediaType* t) { VideoType(t, true, 64, 48); }, &index),
              S_OK);
    ASSERT_EQ(SetInput(writer.get(), 0,
                       [&](IMFMediaType* t) {
                         VideoType(t, false, 64, 48);
                         if (c.has_stride) {
                           t->SetUINT32(MF_MT_DEFAULT_STRIDE, static_cast<UINT32>(c.stride));
                         }
                       }),
              S_OK);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    ASSERT_EQ(WriteBytes(writer.get(), 0, Halves(64, 48, c.bottom_up_data), 0, kFrame), S_OK);
    ASSERT_EQ(writer->Finalize(), S_OK);

    const auto rgb = mp4test::FirstFrameRgb(path);
    ASSERT_EQ(rgb.size(), 64u * 48 * 3);
    const BYTE* top = &rgb[(4 * 64 + 10) * 3];
    const BYTE* bottom = &rgb[(44 * 64 + 10) * 3];
    EXPECT_GT(top[0], 200);
    EXPECT_LT(top[2], 60);
    EXPECT_LT(bottom[0], 60);
    EXPECT_GT(bottom[2], 200);
  }
}

TEST_F(SinkWriterTest, WriteSampleReturnsWhileTheEncoderIsHeld) {
  const std::string path = mp4test::TempPath("held.mp4");
  Ref<IMFSinkWriter> writer;
  ASSERT_EQ(Create(path, &writer), S_OK);
  Declare(writer.get(), 64, 48);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  winsim::HoldSinkEncoding(true);
  const auto frame = Halves(64, 48, true);
  for (int i = 0; i < 40; ++i)
    ASSERT_EQ(WriteBytes(writer.get(), 0, frame, i * kFrame, kFrame), S_OK);
  EXPECT_EQ(winsim::SinkWriters()[0].samples.size(), 40u);
  EXPECT_EQ(winsim::SinkWriters()[0].samples_encoded, 0u);
  winsim::HoldSinkEncoding(false);
  ASSERT_EQ(writer->Finalize(), S_OK);
  EXPECT_EQ(winsim::SinkWriters()[0].samples_encoded, 40u);
  EXPECT_EQ(mp4test::ProbeMp4(path).at(0).frames, 40);
}

TEST_F(SinkWriterTest, QueuedSamplesAreHeldUntilEncodedNotCopied) {
  const std::string path = mp4test::TempPath("held-by-reference.mp4");
  Ref<IMFSinkWriter> writer;
  ASSERT_EQ(Create(path, &writer), S_OK);
  Declare(writer.get(), 64, 48);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  winsim::HoldSinkEncoding(true);
  // The caller lets go of each sample at once; the writer keeps it, and its
  // buffer, until the encoder has read it.
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(WriteBytes(writer.get(), 0, Halves(64, 48, true), i * kFrame, kFrame), S_OK);
  auto live = winsim::LiveObjects();
  EXPECT_EQ(live["com:IMFSample"], 3);
  EXPECT_EQ(live["com:IMFMediaBuffer"], 3);
  winsim::HoldSinkEncoding(false);
  ASSERT_EQ(writer->Finalize(), S_OK);
  live = winsim::LiveObjects();
  EXPECT_EQ(live.count("com:IMFSample"), 0u);
  EXPECT_EQ(live.count("com:IMFMediaBuffer"), 0u);
  EXPECT_EQ(mp4test::ProbeMp4(path).at(0).frames, 3);
}

TEST_F(SinkWriterTest, ThrottledWriterKeepsEverySample) {
  const std::string path = mp4test::TempPath("throttled.mp4");
  Ref<IMFSinkWriter> writer;
  ASSERT_EQ(Create(path, &writer, /*throttled=*/true), S_OK);
  EXPECT_FALSE(winsim::SinkWriters()[0].throttling_disabled);
  Declare(writer.get(), 64, 48);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  const auto frame = Halves(64, 48, true);
  for (int i = 0; i < 30; ++i)
    ASSERT_EQ(WriteBytes(writer.get(), 0, frame, i * kFrame, kFrame), S_OK);
  ASSERT_EQ(writer->Finalize(), S_OK);
  EXPECT_EQ(mp4test::ProbeMp4(path).at(0).frames, 30);
}

TEST_F(SinkWriterTest, CreationFailsAsWindowsDoes) {
  const std::string dir = mp4test::TempPath("");
  const struct {
    const char* name;
    std::string path;
    const char* inject;
    HRESULT hr;
  } cases[] = {
      {"control", dir + "ok.mp4", nullptr, S_OK},
      {"upper-case .M4V", dir + "ok.M4V", nullptr, S_OK},
      {".m4a", dir + "ok.m4a", nullptr, S_OK},
      {"injected", dir + "ok.mp4", "MFCreateSinkWriterFromURL", E_OUTOFMEMORY},
      {"unknown extension", dir + "clip.avi", nullptr, kUnsupportedByteStream},
      {"no extension", dir + "clip", nullptr, kUnsupportedByteStream},
      {"dot in directory only", dir + "a.mp4/clip", nullptr, kUnsupportedByteStream},
      {"missing directory", dir + "no-such-dir/clip.mp4", nullptr, kPathNotFound},
  };
  for (bool encode : {true, false}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (encode ? " (encoding)" : " (record only)"));
      winsim::SetSinkEncoding(encode);
      if (c.inject != nullptr) winsim::FailCall(c.inject, c.hr);
      IMFSinkWriter* writer = reinterpret_cast<IMFSinkWriter*>(0x1);
      EXPECT_EQ(Create(c.path, &writer), c.hr);
      if (SUCCEEDED(c.hr)) {
        writer->Release();
      } else {
        EXPECT_EQ(writer, nullptr);
      }
    }
  }
  EXPECT_EQ(MFCreateSinkWriterFromURL(L"x.mp4", nullptr, nullptr, nullptr), E_POINTER);

  // Backslashes separate directories as on Windows; a name holding an
  // unpaired surrogate cannot be a file name at all.
  winsim::SetSinkEncoding(true);
  std::remove((dir + "back.mp4").c_str());
  std::wstring backslashed = Wide(dir + "back.mp4");
  std::replace(backslashed.begin(), backslashed.end(), L'/', L'\\');
  IMFSinkWriter* writer_by_backslash = nullptr;
  ASSERT_EQ(MFCreateSinkWriterFromURL(backslashed.c_str(), nullptr, nullptr, &writer_by_backslash),
            S_OK);
  writer_by_backslash->Release();
  EXPECT_TRUE(std::ifstream(dir + "back.mp4").good());
  std::remove((dir + "back.mp4").c_str());
  IMFSinkWriter* unnamed = reinterpret_cast<IMFSinkWriter*>(0x1);
  EXPECT_EQ(MFCreateSinkWriterFromURL((Wide(dir) + L"\xD800.mp4").c_str(), nullptr, nullptr,
                                      &unnamed),
            E_INVALIDARG);
  EXPECT_EQ(unnamed, nullptr);

  ASSERT_EQ(MFShutdown(), S_OK);
  IMFSinkWriter* writer = nullptr;
  EXPECT_EQ(Create(dir + "late.mp4", &writer), kPlatformNotInitialized);
  ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
}

TEST_F(SinkWriterTest, RefusesTypesItHasNoEncoderFor) {
  winsim::SetSinkEncoding(false);
  const TypeEdit video_out = [](IMFMediaType* t) { VideoType(t, true, 64, 48); };
  const struct {
    const char* name;
    TypeEdit output;
    TypeEdit input;  // null: only the output is tried
    HRESULT hr;
  } cases[] = {
      {"control video", video_out, [](IMFMediaType* t) { VideoType(t, false, 64, 48); }, S_OK},
      {"control audio", [](IMFMediaType* t) { AudioType(t, true, 48000, 2); },
       [](IMFMediaType* t) { AudioType(t, false, 48000, 2); }, S_OK},
      {"odd frame size", [](IMFMediaType* t) { VideoType(t, true, 63, 48); }, nullptr,
       MF_E_INVALIDMEDIATYPE},
      {"no frame size",
       [](IMFMediaType* t) {
         VideoType(t, true, 64, 48);
         t->DeleteItem(MF_MT_FRAME_SIZE);
       },
       nullptr, MF_E_INVALIDMEDIATYPE},
      {"video output not H.264",
       [](IMFMediaType* t) {
         VideoType(t, true, 64, 48);
         t->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_RGB32);
       },
       nullptr, MF_E_INVALIDMEDIATYPE},
      {"AAC at 32 kHz", [](IMFMediaType* t) { AudioType(t, true, 32000, 2); }, nullptr,
       MF_E_INVALIDMEDIATYPE},
      {"AAC with 6 channels", [](IMFMediaType* t) { AudioType(t, true, 48000, 6); }, nullptr,
       MF_E_INVALIDMEDIATYPE},
      {"input of another size", video_out, [](IMFMediaType* t) { VideoType(t, false, 64, 46); },
       MF_E_INVALIDMEDIATYPE},
      {"video input not RGB32", video_out,
       [](IMFMediaType* t) {
         VideoType(t, false, 64, 48);
         t->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_H264);
       },
       MF_E_TOPO_CODEC_NOT_FOUND},
      {"padded rows", video_out,
       [](IMFMediaType* t) {
         VideoType(t, false, 64, 48);
         t->SetUINT32(MF_MT_DEFAULT_STRIDE, 64 * 4 + 16);
       },
       MF_E_INVALIDMEDIATYPE},
      {"audio input for a video stream", video_out,
       [](IMFMediaType* t) { AudioType(t, false, 48000, 2); }, MF_E_INVALIDMEDIATYPE},
      {"float PCM", [](IMFMediaType* t) { AudioType(t, true, 48000, 2); },
       [](IMFMediaType* t) {
         AudioType(t, false, 48000, 2);
         t->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_Float);
       },
       MF_E_TOPO_CODEC_NOT_FOUND},
      {"PCM at another rate", [](IMFMediaType* t) { AudioType(t, true, 48000, 2); },
       [](IMFMediaType* t) { AudioType(t, false, 44100, 2); }, MF_E_INVALIDMEDIATYPE},
      {"8-bit PCM", [](IMFMediaType* t) { AudioType(t, true, 48000, 2); },
       [](IMFMediaType* t) {
         AudioType(t, false, 48000, 2);
         t->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 8);
       },
       MF_E_INVALIDMEDIATYPE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Ref<IMFSinkWriter> writer;
    ASSERT_EQ(Create(mp4test::TempPath("types.mp4"), &writer), S_OK);
    DWORD index = 0;
    const HRESULT added = AddStream(writer.get(), c.output, &index);
    if (!c.input) {
      EXPECT_EQ(added, c.hr);
      continue;
    }
    ASSERT_EQ(added, S_OK);
    EXPECT_EQ(SetInput(writer.get(), index, c.input), c.hr);
  }
}

TEST_F(SinkWriterTest, CallsOutOfOrderAndInjectedFailures) {
  winsim::SetSinkEncoding(false);
  Ref<IMFSinkWriter> writer;
  ASSERT_EQ(Create(mp4test::TempPath("order.mp4"), &writer), S_OK);
  const auto frame = Halves(64, 48, true);
  EXPECT_EQ(writer->BeginWriting(), MF_E_INVALIDREQUEST) << "no stream yet";
  winsim::FailCall("IMFSinkWriter::AddStream", E_OUTOFMEMORY);
  DWORD index = 0;
  EXPECT_EQ(AddStream(
                writer.get(), [](IMFMediaType* t) { VideoType(t, true, 64, 48); }, &index),
            E_OUTOFMEMORY);
  ASSERT_EQ(AddStream(
                writer.get(), [](IMFMediaType* t) { VideoType(t, true, 64, 48); }, &index),
            S_OK);
  EXPECT_EQ(index, 0u) << "a failed AddStream adds nothing";
  EXPECT_EQ(AddStream(
                writer.get(), [](IMFMediaType* t) { VideoType(t, true, 64, 48); }, &index),
            MF_E_INVALIDMEDIATYPE)
      << "one video track per file";
  EXPECT_EQ(SetInput(writer.get(), 3, [](IMFMediaType* t) { VideoType(t, false, 64, 48); }),
            MF_E_INVALIDSTREAMNUMBER);
  winsim::FailCall("IMFSinkWriter::SetInputMediaType", E_FAIL);
  EXPECT_EQ(SetInput(writer.get(), 0, [](IMFMediaType* t) { VideoType(t, false, 64, 48); }),
            E_FAIL);
  EXPECT_EQ(WriteBytes(writer.get(), 0, frame, 0, kFrame), MF_E_INVALIDREQUEST) << "not begun";
  ASSERT_EQ(SetInput(writer.get(), 0, [](IMFMediaType* t) { VideoType(t, false, 64, 48); }), S_OK);
  winsim::FailCall("IMFSinkWriter::BeginWriting", E_ACCESSDENIED);
  EXPECT_EQ(writer->BeginWriting(), E_ACCESSDENIED);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  EXPECT_EQ(writer->BeginWriting(), MF_E_INVALIDREQUEST);
  EXPECT_EQ(AddStream(
                writer.get(), [](IMFMediaType* t) { AudioType(t, true, 48000, 2); }, &index),
            MF_E_INVALIDREQUEST);

  winsim::FailCall("IMFSinkWriter::WriteSample", E_UNEXPECTED);
  EXPECT_EQ(WriteBytes(writer.get(), 0, frame, 0, kFrame), E_UNEXPECTED);
  EXPECT_EQ(WriteBytes(writer.get(), 1, frame, 0, kFrame), MF_E_INVALIDSTREAMNUMBER);
  EXPECT_EQ(writer->WriteSample(0, nullptr), E_POINTER);
  EXPECT_EQ(WriteBytes(writer.get(), 0, std::vector<BYTE>(frame.size() - 4), 0, kFrame),
            MF_E_BUFFERTOOSMALL);
  EXPECT_EQ(WriteBytes(writer.get(), 0, frame, 0, kFrame, /*stamp=*/false),
            MF_E_NO_SAMPLE_TIMESTAMP);
  EXPECT_EQ(WriteBytes(writer.get(), 0, frame, kFrame, kFrame), S_OK);
  EXPECT_EQ(winsim::SinkWriters()[0].samples.size(), 1u) << "only the accepted sample is recorded";

  winsim::FailCall("IMFSinkWriter::Finalize", E_FAIL);
  EXPECT_EQ(writer->Finalize(), E_FAIL);
  EXPECT_FALSE(winsim::SinkWriters()[0].finalized);
  EXPECT_EQ(writer->Finalize(), S_OK);
  EXPECT_EQ(writer->Finalize(), MF_E_INVALIDREQUEST);
  EXPECT_EQ(WriteBytes(writer.get(), 0, frame, 2 * kFrame, kFrame), MF_E_INVALIDREQUEST);
}

TEST_F(SinkWriterTest, AStreamWithoutInputTypeStillBeginsAndRefusesSamples) {
  const std::string path = mp4test::TempPath("no-input.mp4");
  Ref<IMFSinkWriter> writer;
  ASSERT_EQ(Create(path, &writer), S_OK);
  Declare(writer.get(), 64, 48);
  DWORD audio = 0;
  ASSERT_EQ(AddStream(
                writer.get(), [](IMFMediaType* t) { AudioType(t, true, 48000, 2); }, &audio),
            S_OK);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  EXPECT_EQ(WriteBytes(writer.get(), audio, Tone(48000, 2, 480), 0, 100'000), MF_E_INVALIDREQUEST);
  ASSERT_EQ(WriteBytes(writer.get(), 0, Halves(64, 48, true), 0, kFrame), S_OK);
  ASSERT_EQ(writer->Finalize(), S_OK);
  const auto streams = mp4test::ProbeMp4(path);
  ASSERT_GE(streams.size(), 1u);
  EXPECT_EQ(streams[0].frames, 1);
}

TEST_F(SinkWriterTest, FileErrorsSurfaceAsWindowsErrors) {
  // Every write to /dev/full fails with "no space left"; the file header is
  // the first write.
  const std::string full = mp4test::TempPath("full.mp4");
  unlink(full.c_str());
  ASSERT_EQ(symlink("/dev/full", full.c_str()), 0);
  {
    Ref<IMFSinkWriter> writer;
    ASSERT_EQ(Create(full, &writer), S_OK);
    Declare(writer.get(), 64, 48);
    EXPECT_EQ(writer->BeginWriting(), kDiskFull);
    EXPECT_EQ(WriteBytes(writer.get(), 0, Halves(64, 48, true), 0, kFrame), MF_E_INVALIDREQUEST);
  }
  unlink(full.c_str());

  // The directory goes away between creation and the start of writing.
  const std::string dir = mp4test::TempPath("vanishing");
  mkdir(dir.c_str(), 0755);
  const std::string path = dir + "/clip.mp4";
  Ref<IMFSinkWriter> writer;
  ASSERT_EQ(Create(path, &writer), S_OK);
  Declare(writer.get(), 64, 48);
  unlink(path.c_str());
  rmdir(dir.c_str());
  EXPECT_EQ(writer->BeginWriting(), kPathNotFound);
}

TEST_F(SinkWriterTest, ReleaseWithoutFinalizeLeavesAnUnfinishedFile) {
  const std::string path = mp4test::TempPath("abandoned.mp4");
  {
    Ref<IMFSinkWriter> writer;
    ASSERT_EQ(Create(path, &writer), S_OK);
    Declare(writer.get(), 64, 48, 48000, 2);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    // Held, so samples are still queued when the writer goes away.
    winsim::HoldSinkEncoding(true);
    for (int i = 0; i < 10; ++i) {
      ASSERT_EQ(WriteBytes(writer.get(), 0, Halves(64, 48, true), i * kFrame, kFrame), S_OK);
    }
  }
  winsim::HoldSinkEncoding(false);
  EXPECT_FALSE(winsim::SinkWriters()[0].finalized);
  EXPECT_TRUE(mp4test::ProbeMp4(path).empty()) << "no index was written";
}

}  // namespace
