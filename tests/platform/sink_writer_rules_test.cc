// The documented rules of the sink writer and its encoders, one test per
// rule, as the writer's header lists them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <string>

#include "sink_writer_test_support.h"

namespace {

using namespace sinktest;  // NOLINT: the shared helpers read as local ones

enum class Phase { kConfiguring, kWriting, kFinalized };

// Every call in every phase of a writer's life, each on a fresh writer.
TEST_F(SinkWriterTest, WhichCallsEachPhaseTakes) {
  winsim::SetSinkEncoding(false);
  using Call = std::function<HRESULT(IMFSinkWriter*)>;
  const Call add = [](IMFSinkWriter* w) {
    DWORD index = 0;
    return AddStream(
        w, [](IMFMediaType* t) { AudioType(t, true, 48000, 2); }, &index);
  };
  const Call set_input = [](IMFSinkWriter* w) {
    return SetInput(w, 0, [](IMFMediaType* t) { VideoType(t, false, 64, 48); });
  };
  const Call begin = [](IMFSinkWriter* w) { return w->BeginWriting(); };
  const Call write = [](IMFSinkWriter* w) {
    return WriteBytes(w, 0, Halves(64, 48, true), 10 * kFrame, kFrame);
  };
  const Call finalize = [](IMFSinkWriter* w) { return w->Finalize(); };
  const Call tick = [](IMFSinkWriter* w) { return w->SendStreamTick(0, 20 * kFrame); };
  const Call tick_unknown = [](IMFSinkWriter* w) { return w->SendStreamTick(1, 20 * kFrame); };
  const struct {
    const char* name;
    Phase phase;
    Call call;
    HRESULT hr;
  } cases[] = {
      {"AddStream while configuring", Phase::kConfiguring, add, S_OK},
      {"SetInputMediaType while configuring", Phase::kConfiguring, set_input, S_OK},
      {"WriteSample before BeginWriting", Phase::kConfiguring, write, MF_E_INVALIDREQUEST},
      {"Finalize before BeginWriting", Phase::kConfiguring, finalize, MF_E_INVALIDREQUEST},
      {"SendStreamTick before BeginWriting", Phase::kConfiguring, tick, MF_E_INVALIDREQUEST},
      {"AddStream while writing", Phase::kWriting, add, MF_E_INVALIDREQUEST},
      {"SetInputMediaType while writing", Phase::kWriting, set_input, MF_E_INVALIDREQUEST},
      {"BeginWriting twice", Phase::kWriting, begin, MF_E_INVALIDREQUEST},
      {"WriteSample while writing", Phase::kWriting, write, S_OK},
      {"SendStreamTick while writing", Phase::kWriting, tick, S_OK},
      {"SendStreamTick to no stream", Phase::kWriting, tick_unknown, MF_E_INVALIDSTREAMNUMBER},
      {"AddStream after Finalize", Phase::kFinalized, add, MF_E_INVALIDREQUEST},
      {"SetInputMediaType after Finalize", Phase::kFinalized, set_input, MF_E_INVALIDREQUEST},
      {"BeginWriting after Finalize", Phase::kFinalized, begin, MF_E_INVALIDREQUEST},
      {"WriteSample after Finalize", Phase::kFinalized, write, MF_E_INVALIDREQUEST},
      {"Finalize twice", Phase::kFinalized, finalize, MF_E_INVALIDREQUEST},
      {"SendStreamTick after Finalize", Phase::kFinalized, tick, MF_E_INVALIDREQUEST},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ComRef<IMFSinkWriter> writer;
    ASSERT_EQ(Create(mp4test::TempPath("phases.mp4"), writer.Put()), S_OK);
    Declare(writer.Get(), 64, 48);
    if (c.phase != Phase::kConfiguring) {
      ASSERT_EQ(writer->BeginWriting(), S_OK);
      ASSERT_EQ(WriteBytes(writer.Get(), 0, Halves(64, 48, true), 0, kFrame), S_OK);
    }
    if (c.phase == Phase::kFinalized) {
      ASSERT_EQ(writer->Finalize(), S_OK);
    }
    EXPECT_EQ(c.call(writer.Get()), c.hr);
    if (std::string(c.name).rfind("SendStreamTick", 0) == 0) {
      EXPECT_EQ(winsim::SinkWriters().back().calls.back(), "SendStreamTick");
    }
  }
}

TEST_F(SinkWriterTest, FinalizeWithoutAnySampleFails) {
  for (bool encode : {true, false}) {
    SCOPED_TRACE(encode ? "encoding" : "record only");
    winsim::SetSinkEncoding(encode);
    const std::string path = mp4test::TempPath("no-samples.mp4");
    unlink(path.c_str());
    ComRef<IMFSinkWriter> writer;
    ASSERT_EQ(Create(path, writer.Put()), S_OK);
    Declare(writer.Get(), 64, 48, 48000, 2);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    // A refused sample is not a written one.
    EXPECT_EQ(WriteBytes(writer.Get(), 0, std::vector<BYTE>(16), 0, kFrame), MF_E_BUFFERTOOSMALL);
    EXPECT_EQ(writer->Finalize(), MF_E_SINK_NO_SAMPLES_PROCESSED);
    EXPECT_FALSE(winsim::SinkWriters().back().finalized);
    EXPECT_EQ(writer->Finalize(), MF_E_INVALIDREQUEST) << "finalizing is over either way";
    if (encode) {
      EXPECT_TRUE(mp4test::ProbeMp4(path).empty()) << "no index was written";
    }
  }
}

struct TypeCase {
  const char* name;
  TypeEdit output;
  TypeEdit input;
  HRESULT added;      // AddStream
  HRESULT input_set;  // SetInputMediaType, when AddStream succeeded
};

void RunTypeCases(const TypeCase* cases, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const TypeCase& c = cases[i];
    SCOPED_TRACE(c.name);
    ComRef<IMFSinkWriter> writer;
    ASSERT_EQ(MFCreateSinkWriterFromURL(Wide(mp4test::TempPath("limits.mp4")).c_str(), nullptr,
                                        nullptr, writer.Put()),
              S_OK);
    DWORD index = 0;
    ASSERT_EQ(AddStream(writer.Get(), c.output, &index), c.added);
    if (SUCCEEDED(c.added)) {
      EXPECT_EQ(SetInput(writer.Get(), index, c.input), c.input_set);
    }
  }
}

TypeCase Video(const char* name, UINT32 width, UINT32 height, HRESULT input_set,
               const TypeEdit& edit_output = nullptr) {
  return {name,
          [=](IMFMediaType* t) {
            VideoType(t, true, width, height);
            if (edit_output) edit_output(t);
          },
          [=](IMFMediaType* t) { VideoType(t, false, width, height); }, S_OK, input_set};
}

TEST_F(SinkWriterTest, H264EncoderFrameLimits) {
  winsim::SetSinkEncoding(false);
  const TypeCase cases[] = {
      Video("1080p", 1920, 1080, S_OK),
      Video("largest: 4096 x 2304", 4096, 2304, S_OK),
      Video("smallest even size", 2, 2, S_OK),
      Video("one pair wider", 4098, 2304, MF_E_TOPO_CODEC_NOT_FOUND),
      Video("one pair taller", 4096, 2306, MF_E_TOPO_CODEC_NOT_FOUND),
      Video("5K", 5120, 2880, MF_E_TOPO_CODEC_NOT_FOUND),
      Video("8K", 7680, 4320, MF_E_TOPO_CODEC_NOT_FOUND),
      Video("portrait 4K", 2160, 3840, MF_E_TOPO_CODEC_NOT_FOUND),
      Video("odd width", 1919, 1080, MF_E_TOPO_CODEC_NOT_FOUND),
      Video("odd height", 1920, 1079, MF_E_TOPO_CODEC_NOT_FOUND),
      Video("no bit rate", 64, 48, MF_E_TOPO_CODEC_NOT_FOUND,
            [](IMFMediaType* t) { t->DeleteItem(MF_MT_AVG_BITRATE); }),
      Video("bit rate zero", 64, 48, MF_E_TOPO_CODEC_NOT_FOUND,
            [](IMFMediaType* t) { t->SetUINT32(MF_MT_AVG_BITRATE, 0); }),
      Video("no frame rate", 64, 48, MF_E_TOPO_CODEC_NOT_FOUND,
            [](IMFMediaType* t) { t->DeleteItem(MF_MT_FRAME_RATE); }),
      Video("no interlace mode", 64, 48, MF_E_TOPO_CODEC_NOT_FOUND,
            [](IMFMediaType* t) { t->DeleteItem(MF_MT_INTERLACE_MODE); }),
      {"zero frame size: not even the file takes it",
       [](IMFMediaType* t) { VideoType(t, true, 0, 48); }, nullptr, MF_E_INVALIDMEDIATYPE, S_OK},
  };
  RunTypeCases(cases, sizeof(cases) / sizeof(cases[0]));
}

TypeCase Audio(const char* name, UINT32 rate, UINT32 channels, HRESULT input_set,
               const TypeEdit& edit_output = nullptr) {
  return {name,
          [=](IMFMediaType* t) {
            AudioType(t, true, rate, channels);
            if (edit_output) edit_output(t);
          },
          [=](IMFMediaType* t) { AudioType(t, false, rate, channels); }, S_OK, input_set};
}

TypeEdit BytesPerSecond(UINT32 bytes) {
  return [bytes](IMFMediaType* t) { t->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, bytes); };
}

TEST_F(SinkWriterTest, AacEncoderInputsAndBitRates) {
  winsim::SetSinkEncoding(false);
  const TypeCase cases[] = {
      Audio("44.1 kHz mono", 44100, 1, S_OK),
      Audio("48 kHz stereo", 48000, 2, S_OK),
      Audio("32 kHz", 32000, 2, MF_E_TOPO_CODEC_NOT_FOUND),
      Audio("96 kHz", 96000, 2, MF_E_TOPO_CODEC_NOT_FOUND),
      Audio("3 channels", 48000, 3, MF_E_TOPO_CODEC_NOT_FOUND),
      Audio("5.1", 48000, 6, MF_E_TOPO_CODEC_NOT_FOUND),
      Audio("96 kbit/s", 48000, 2, S_OK, BytesPerSecond(12000)),
      Audio("160 kbit/s", 48000, 2, S_OK, BytesPerSecond(20000)),
      Audio("192 kbit/s", 48000, 2, S_OK, BytesPerSecond(24000)),
      Audio("just under 96 kbit/s", 48000, 2, MF_E_TOPO_CODEC_NOT_FOUND, BytesPerSecond(11999)),
      Audio("256 kbit/s", 48000, 2, MF_E_TOPO_CODEC_NOT_FOUND, BytesPerSecond(32000)),
      Audio("no bit rate: 96 kbit/s", 48000, 2, S_OK,
            [](IMFMediaType* t) { t->DeleteItem(MF_MT_AUDIO_AVG_BYTES_PER_SECOND); }),
      Audio("24-bit output", 48000, 2, MF_E_TOPO_CODEC_NOT_FOUND,
            [](IMFMediaType* t) { t->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 24); }),
      Audio("no bits per sample", 48000, 2, MF_E_TOPO_CODEC_NOT_FOUND,
            [](IMFMediaType* t) { t->DeleteItem(MF_MT_AUDIO_BITS_PER_SAMPLE); }),
      {"no channel count: not even the file takes it",
       [](IMFMediaType* t) {
         AudioType(t, true, 48000, 2);
         t->DeleteItem(MF_MT_AUDIO_NUM_CHANNELS);
       },
       nullptr, MF_E_INVALIDMEDIATYPE, S_OK},
  };
  RunTypeCases(cases, sizeof(cases) / sizeof(cases[0]));
  EXPECT_EQ(winsim::SinkWriters()[11].streams.at(0).bitrate, 96'000u) << "the default bit rate";
}

TEST_F(SinkWriterTest, AudioSamplesNeedADuration) {
  winsim::SetSinkEncoding(false);
  ComRef<IMFSinkWriter> writer;
  ASSERT_EQ(Create(mp4test::TempPath("durations.mp4"), writer.Put()), S_OK);
  Declare(writer.Get(), 64, 48, 48000, 2);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  const auto block = Tone(48000, 2, 480);
  EXPECT_EQ(WriteBytes(writer.Get(), 1, block, 0, 0), MF_E_NO_SAMPLE_DURATION);
  ComRef<IMFMediaBuffer> buffer;
  ComRef<IMFSample> unstamped;
  ASSERT_EQ(MFCreateMemoryBuffer(16, buffer.Put()), S_OK);
  buffer->SetCurrentLength(16);
  ASSERT_EQ(MFCreateSample(unstamped.Put()), S_OK);
  unstamped->AddBuffer(buffer.Get());
  unstamped->SetSampleTime(0);
  EXPECT_EQ(writer->WriteSample(1, unstamped.Get()), MF_E_NO_SAMPLE_DURATION);
  EXPECT_EQ(WriteBytes(writer.Get(), 1, block, 0, 100'000), S_OK);
  EXPECT_EQ(WriteBytes(writer.Get(), 0, Halves(64, 48, true), 0, 0), S_OK)
      << "video frames may leave the duration to the next frame";
  EXPECT_EQ(winsim::SinkWriters()[0].samples.size(), 2u);
}

}  // namespace
