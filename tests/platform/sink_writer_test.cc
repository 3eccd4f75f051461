#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sink_writer_test_support.h"

namespace {

using namespace sinktest;  // NOLINT: the shared helpers read as local ones

TEST_F(SinkWriterTest, RecordsCallsStreamsAndSamplesWithoutEncoding) {
  winsim::SetSinkEncoding(false);
  const std::string path = mp4test::TempPath("recorded-only.mp4");
  unlink(path.c_str());
  ComRef<IMFSinkWriter> writer;
  ASSERT_EQ(Create(path, writer.Put()), S_OK);
  Declare(writer.Get(), 64, 48, 44100, 1);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  auto frame = Halves(64, 48, true);
  frame[0] = 0x11;
  ASSERT_EQ(WriteBytes(writer.Get(), 0, frame, 123, kFrame), S_OK);
  ASSERT_EQ(WriteBytes(writer.Get(), 1, Tone(44100, 1, 441), 0, 100'000), S_OK);
  // PCM that ends inside a frame loses the partial frame.
  ASSERT_EQ(WriteBytes(writer.Get(), 1, std::vector<BYTE>(883), 100'000, 100'000), S_OK);
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
  ComRef<IMFSinkWriter> next;
  ASSERT_EQ(Create(path, next.Put()), S_OK);
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
      ComRef<IMFSinkWriter> writer;
      ASSERT_EQ(Create(path, writer.Put()), S_OK);
      Declare(writer.Get(), 64, 48, c.rate, c.channels);
      ASSERT_EQ(writer->BeginWriting(), S_OK);
      const auto frame = Halves(64, 48, true);
      // Capture times drift late as a busy machine's do.
      std::int64_t t = 150'000, last = 0;
      for (int i = 0; i < 12; ++i, t += kFrame + (i % 3) * 40'000) {
        ASSERT_EQ(WriteBytes(writer.Get(), 0, frame, t, kFrame), S_OK);
        last = t;
      }
      if (c.rate != 0) {
        const auto block = Tone(c.rate, c.channels, c.rate / 20);
        for (int i = 0; i < 16; ++i) {
          ASSERT_EQ(WriteBytes(writer.Get(), 1, block, i * 500'000, 500'000), S_OK);
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
    ComRef<IMFSinkWriter> writer;
    ASSERT_EQ(Create(path, writer.Put()), S_OK);
    DWORD index = 0;
    ASSERT_EQ(AddStream(
                  writer.Get(), [](IMFMediaType* t) { VideoType(t, true, 64, 48); }, &index),
              S_OK);
    ASSERT_EQ(SetInput(writer.Get(), 0,
                       [&](IMFMediaType* t) {
                         VideoType(t, false, 64, 48);
                         if (c.has_stride) {
                           t->SetUINT32(MF_MT_DEFAULT_STRIDE, static_cast<UINT32>(c.stride));
                         }
                       }),
              S_OK);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    ASSERT_EQ(WriteBytes(writer.Get(), 0, Halves(64, 48, c.bottom_up_data), 0, kFrame), S_OK);
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
  ComRef<IMFSinkWriter> writer;
  ASSERT_EQ(Create(path, writer.Put()), S_OK);
  Declare(writer.Get(), 64, 48);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  winsim::HoldSinkEncoding(true);
  const auto frame = Halves(64, 48, true);
  for (int i = 0; i < 40; ++i)
    ASSERT_EQ(WriteBytes(writer.Get(), 0, frame, i * kFrame, kFrame), S_OK);
  EXPECT_EQ(winsim::SinkWriters()[0].samples.size(), 40u);
  EXPECT_EQ(winsim::SinkWriters()[0].samples_encoded, 0u);
  winsim::HoldSinkEncoding(false);
  ASSERT_EQ(writer->Finalize(), S_OK);
  EXPECT_EQ(winsim::SinkWriters()[0].samples_encoded, 40u);
  EXPECT_EQ(mp4test::ProbeMp4(path).at(0).frames, 40);
}

TEST_F(SinkWriterTest, QueuedSamplesAreHeldUntilEncodedNotCopied) {
  const std::string path = mp4test::TempPath("held-by-reference.mp4");
  ComRef<IMFSinkWriter> writer;
  ASSERT_EQ(Create(path, writer.Put()), S_OK);
  Declare(writer.Get(), 64, 48);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  winsim::HoldSinkEncoding(true);
  // The caller lets go of each sample at once; the writer keeps it, and its
  // buffer, until the encoder has read it.
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(WriteBytes(writer.Get(), 0, Halves(64, 48, true), i * kFrame, kFrame), S_OK);
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
  ComRef<IMFSinkWriter> writer;
  ASSERT_EQ(Create(path, writer.Put(), /*throttled=*/true), S_OK);
  EXPECT_FALSE(winsim::SinkWriters()[0].throttling_disabled);
  Declare(writer.Get(), 64, 48);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  const auto frame = Halves(64, 48, true);
  for (int i = 0; i < 30; ++i)
    ASSERT_EQ(WriteBytes(writer.Get(), 0, frame, i * kFrame, kFrame), S_OK);
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
  EXPECT_EQ(
      MFCreateSinkWriterFromURL((Wide(dir) + L"\xD800.mp4").c_str(), nullptr, nullptr, &unnamed),
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
      {"odd frame size", [](IMFMediaType* t) { VideoType(t, true, 63, 48); },
       [](IMFMediaType* t) { VideoType(t, false, 63, 48); }, MF_E_TOPO_CODEC_NOT_FOUND},
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
      {"AAC at 32 kHz", [](IMFMediaType* t) { AudioType(t, true, 32000, 2); },
       [](IMFMediaType* t) { AudioType(t, false, 32000, 2); }, MF_E_TOPO_CODEC_NOT_FOUND},
      {"AAC with 6 channels", [](IMFMediaType* t) { AudioType(t, true, 48000, 6); },
       [](IMFMediaType* t) { AudioType(t, false, 48000, 6); }, MF_E_TOPO_CODEC_NOT_FOUND},
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
    ComRef<IMFSinkWriter> writer;
    ASSERT_EQ(Create(mp4test::TempPath("types.mp4"), writer.Put()), S_OK);
    DWORD index = 0;
    const HRESULT added = AddStream(writer.Get(), c.output, &index);
    if (!c.input) {
      EXPECT_EQ(added, c.hr);
      continue;
    }
    ASSERT_EQ(added, S_OK);
    EXPECT_EQ(SetInput(writer.Get(), index, c.input), c.hr);
  }
}

TEST_F(SinkWriterTest, CallsOutOfOrderAndInjectedFailures) {
  winsim::SetSinkEncoding(false);
  ComRef<IMFSinkWriter> writer;
  ASSERT_EQ(Create(mp4test::TempPath("order.mp4"), writer.Put()), S_OK);
  const auto frame = Halves(64, 48, true);
  EXPECT_EQ(writer->BeginWriting(), MF_E_INVALIDREQUEST) << "no stream yet";
  winsim::FailCall("IMFSinkWriter::AddStream", E_OUTOFMEMORY);
  DWORD index = 0;
  EXPECT_EQ(AddStream(
                writer.Get(), [](IMFMediaType* t) { VideoType(t, true, 64, 48); }, &index),
            E_OUTOFMEMORY);
  ASSERT_EQ(AddStream(
                writer.Get(), [](IMFMediaType* t) { VideoType(t, true, 64, 48); }, &index),
            S_OK);
  EXPECT_EQ(index, 0u) << "a failed AddStream adds nothing";
  EXPECT_EQ(AddStream(
                writer.Get(), [](IMFMediaType* t) { VideoType(t, true, 64, 48); }, &index),
            MF_E_INVALIDMEDIATYPE)
      << "one video track per file";
  EXPECT_EQ(SetInput(writer.Get(), 3, [](IMFMediaType* t) { VideoType(t, false, 64, 48); }),
            MF_E_INVALIDSTREAMNUMBER);
  winsim::FailCall("IMFSinkWriter::SetInputMediaType", E_FAIL);
  EXPECT_EQ(SetInput(writer.Get(), 0, [](IMFMediaType* t) { VideoType(t, false, 64, 48); }),
            E_FAIL);
  EXPECT_EQ(WriteBytes(writer.Get(), 0, frame, 0, kFrame), MF_E_INVALIDREQUEST) << "not begun";
  ASSERT_EQ(SetInput(writer.Get(), 0, [](IMFMediaType* t) { VideoType(t, false, 64, 48); }), S_OK);
  winsim::FailCall("IMFSinkWriter::BeginWriting", E_ACCESSDENIED);
  EXPECT_EQ(writer->BeginWriting(), E_ACCESSDENIED);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  EXPECT_EQ(writer->BeginWriting(), MF_E_INVALIDREQUEST);
  EXPECT_EQ(AddStream(
                writer.Get(), [](IMFMediaType* t) { AudioType(t, true, 48000, 2); }, &index),
            MF_E_INVALIDREQUEST);

  winsim::FailCall("IMFSinkWriter::WriteSample", E_UNEXPECTED);
  EXPECT_EQ(WriteBytes(writer.Get(), 0, frame, 0, kFrame), E_UNEXPECTED);
  EXPECT_EQ(WriteBytes(writer.Get(), 1, frame, 0, kFrame), MF_E_INVALIDSTREAMNUMBER);
  EXPECT_EQ(writer->WriteSample(0, nullptr), E_POINTER);
  EXPECT_EQ(WriteBytes(writer.Get(), 0, std::vector<BYTE>(frame.size() - 4), 0, kFrame),
            MF_E_BUFFERTOOSMALL);
  EXPECT_EQ(WriteBytes(writer.Get(), 0, frame, 0, kFrame, /*stamp=*/false),
            MF_E_NO_SAMPLE_TIMESTAMP);
  EXPECT_EQ(WriteBytes(writer.Get(), 0, frame, kFrame, kFrame), S_OK);
  EXPECT_EQ(winsim::SinkWriters()[0].samples.size(), 1u) << "only the accepted sample is recorded";

  winsim::FailCall("IMFSinkWriter::Finalize", E_FAIL);
  EXPECT_EQ(writer->Finalize(), E_FAIL);
  EXPECT_FALSE(winsim::SinkWriters()[0].finalized);
  EXPECT_EQ(writer->Finalize(), S_OK);
  EXPECT_EQ(writer->Finalize(), MF_E_INVALIDREQUEST);
  EXPECT_EQ(WriteBytes(writer.Get(), 0, frame, 2 * kFrame, kFrame), MF_E_INVALIDREQUEST);
}

TEST_F(SinkWriterTest, AStreamWithoutInputTypeStillBeginsAndRefusesSamples) {
  const std::string path = mp4test::TempPath("no-input.mp4");
  ComRef<IMFSinkWriter> writer;
  ASSERT_EQ(Create(path, writer.Put()), S_OK);
  Declare(writer.Get(), 64, 48);
  DWORD audio = 0;
  ASSERT_EQ(AddStream(
                writer.Get(), [](IMFMediaType* t) { AudioType(t, true, 48000, 2); }, &audio),
            S_OK);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  EXPECT_EQ(WriteBytes(writer.Get(), audio, Tone(48000, 2, 480), 0, 100'000), MF_E_INVALIDREQUEST);
  ASSERT_EQ(WriteBytes(writer.Get(), 0, Halves(64, 48, true), 0, kFrame), S_OK);
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
    ComRef<IMFSinkWriter> writer;
    ASSERT_EQ(Create(full, writer.Put()), S_OK);
    Declare(writer.Get(), 64, 48);
    EXPECT_EQ(writer->BeginWriting(), kDiskFull);
    EXPECT_EQ(WriteBytes(writer.Get(), 0, Halves(64, 48, true), 0, kFrame), MF_E_INVALIDREQUEST);
  }
  unlink(full.c_str());

  // The directory goes away between creation and the start of writing.
  const std::string dir = mp4test::TempPath("vanishing");
  mkdir(dir.c_str(), 0755);
  const std::string path = dir + "/clip.mp4";
  ComRef<IMFSinkWriter> writer;
  ASSERT_EQ(Create(path, writer.Put()), S_OK);
  Declare(writer.Get(), 64, 48);
  unlink(path.c_str());
  rmdir(dir.c_str());
  EXPECT_EQ(writer->BeginWriting(), kPathNotFound);
}

TEST_F(SinkWriterTest, ReleaseWithoutFinalizeLeavesAnUnfinishedFile) {
  const std::string path = mp4test::TempPath("abandoned.mp4");
  {
    ComRef<IMFSinkWriter> writer;
    ASSERT_EQ(Create(path, writer.Put()), S_OK);
    Declare(writer.Get(), 64, 48, 48000, 2);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    // Held, so samples are still queued when the writer goes away.
    winsim::HoldSinkEncoding(true);
    for (int i = 0; i < 10; ++i) {
      ASSERT_EQ(WriteBytes(writer.Get(), 0, Halves(64, 48, true), i * kFrame, kFrame), S_OK);
    }
  }
  winsim::HoldSinkEncoding(false);
  EXPECT_FALSE(winsim::SinkWriters()[0].finalized);
  EXPECT_TRUE(mp4test::ProbeMp4(path).empty()) << "no index was written";
}

// How long the media sink held a sample back to interleave it: the most that
// the start of one stream's latest sample lay past what another stream had
// covered then. A stream tick covers time without being a sample to hold.
TEST_F(SinkWriterTest, RecordsHowLongTheSinkHeldAStreamBack) {
  winsim::SetSinkEncoding(false);
  enum Kind { kVideo, kAudio, kTick };
  struct Write {
    Kind kind;
    std::int64_t ms;
  };
  const struct {
    const char* name;
    std::vector<Write> writes;
    std::int64_t held_ms;
  } cases[] = {
      {"interleaved", {{kVideo, 0}, {kAudio, 0}, {kVideo, 100}, {kAudio, 100}}, 0},
      {"audio behind", {{kVideo, 0}, {kVideo, 100}, {kVideo, 300}, {kAudio, 0}}, 300},
      {"video behind", {{kAudio, 0}, {kAudio, 100}, {kAudio, 200}, {kVideo, 0}}, 200},
      {"a tick over the audio's gap",
       {{kAudio, 0}, {kTick, 300}, {kVideo, 0}, {kVideo, 200}, {kVideo, 300}}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ComRef<IMFSinkWriter> writer;
    ASSERT_EQ(Create(mp4test::TempPath("held-back.mp4"), writer.Put()), S_OK);
    Declare(writer.Get(), 64, 48, 44100, 1);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    for (const Write& w : c.writes) {
      const std::int64_t time = w.ms * 10'000;
      if (w.kind == kVideo) {
        ASSERT_EQ(WriteBytes(writer.Get(), 0, Halves(64, 48, true), time, kFrame), S_OK);
      } else if (w.kind == kAudio) {
        ASSERT_EQ(WriteBytes(writer.Get(), 1, Tone(44100, 1, 4410), time, 1'000'000), S_OK);
      } else {
        ASSERT_EQ(writer->SendStreamTick(1, time), S_OK);
      }
    }
    EXPECT_EQ(winsim::SinkWriters().back().longest_stream_lag, c.held_ms * 10'000);
  }
}

}  // namespace
