// GetStatistics as a caller uses it to bound the samples in flight: what the
// writer accepted against what its encoder thread has finished.
#include <gtest/gtest.h>

#include <vector>

#include "sink_writer_test_support.h"

namespace {

using namespace sinktest;  // NOLINT: the shared helpers read as local ones

MF_SINK_WRITER_STATISTICS Stats(IMFSinkWriter* writer, DWORD stream) {
  MF_SINK_WRITER_STATISTICS stats{};
  stats.cb = sizeof(stats);
  EXPECT_EQ(writer->GetStatistics(stream, &stats), S_OK);
  return stats;
}

TEST_F(SinkWriterTest, StatisticsRefuseBadArguments) {
  winsim::SetSinkEncoding(false);
  ComRef<IMFSinkWriter> writer;
  ASSERT_EQ(Create(mp4test::TempPath("stats-args.mp4"), writer.Put()), S_OK);
  MF_SINK_WRITER_STATISTICS stats{};
  stats.cb = sizeof(stats);
  EXPECT_EQ(writer->GetStatistics(0, &stats), MF_E_INVALIDSTREAMNUMBER) << "no stream yet";
  Declare(writer.Get(), 64, 48, 48000, 2);
  const struct {
    const char* name;
    DWORD stream;
    DWORD cb;
    HRESULT hr;
  } cases[] = {
      {"control", 1, sizeof(stats), S_OK},
      {"all streams", MF_SINK_WRITER_ALL_STREAMS, sizeof(stats), S_OK},
      {"cb unset", 0, 0, E_INVALIDARG},
      {"cb one short", 0, sizeof(stats) - 1, E_INVALIDARG},
      {"cb too large", 0, sizeof(stats) + 8, E_INVALIDARG},
      {"stream past the last", 2, sizeof(stats), MF_E_INVALIDSTREAMNUMBER},
      {"the media sink itself", MF_SINK_WRITER_MEDIASINK, sizeof(stats), MF_E_INVALIDSTREAMNUMBER},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    stats = MF_SINK_WRITER_STATISTICS{};
    stats.cb = c.cb;
    EXPECT_EQ(writer->GetStatistics(c.stream, &stats), c.hr);
  }
  EXPECT_EQ(writer->GetStatistics(0, nullptr), E_POINTER);
}

TEST_F(SinkWriterTest, StatisticsShowWhatTheEncoderHasNotFinished) {
  ComRef<IMFSinkWriter> writer;
  ASSERT_EQ(Create(mp4test::TempPath("stats.mp4"), writer.Put()), S_OK);
  Declare(writer.Get(), 64, 48, 48000, 2);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  const auto frame = Halves(64, 48, true);
  const auto block = Tone(48000, 2, 4800);
  winsim::HoldSinkEncoding(true);
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(WriteBytes(writer.Get(), 0, frame, 1000 + i * kFrame, kFrame), S_OK);
  }
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(WriteBytes(writer.Get(), 1, block, i * 1'500'000, 1'000'000), S_OK);
  }

  auto video = Stats(writer.Get(), 0);
  EXPECT_EQ(video.cb, sizeof(video));
  EXPECT_EQ(video.qwNumSamplesReceived, 5u);
  EXPECT_EQ(video.llLastTimestampReceived, 1000 + 4 * kFrame);
  EXPECT_EQ(video.qwNumSamplesEncoded, 0u);
  EXPECT_EQ(video.qwNumSamplesProcessed, 0u);
  EXPECT_EQ(video.dwByteCountQueued, 5 * frame.size());
  auto all = Stats(writer.Get(), MF_SINK_WRITER_ALL_STREAMS);
  EXPECT_EQ(all.qwNumSamplesReceived, 8u);
  EXPECT_EQ(all.llLastTimestampReceived, 3'000'000) << "the latest of any stream";
  EXPECT_EQ(all.dwByteCountQueued, 5 * frame.size() + 3 * block.size());

  winsim::HoldSinkEncoding(false);
  ASSERT_EQ(writer->Finalize(), S_OK);
  video = Stats(writer.Get(), 0);
  EXPECT_EQ(video.qwNumSamplesEncoded, 5u);
  EXPECT_EQ(video.qwNumSamplesProcessed, 5u);
  EXPECT_EQ(video.llLastTimestampProcessed, 1000 + 4 * kFrame);
  EXPECT_EQ(video.dwByteCountQueued, 0u);
  EXPECT_EQ(video.qwByteCountProcessed, 5 * frame.size());
  const auto audio = Stats(writer.Get(), 1);
  EXPECT_EQ(audio.qwNumSamplesProcessed, 3u);
  EXPECT_EQ(audio.llLastTimestampEncoded, 3'000'000);
  all = Stats(writer.Get(), MF_SINK_WRITER_ALL_STREAMS);
  EXPECT_EQ(all.qwNumSamplesProcessed, 8u);
}

TEST_F(SinkWriterTest, StatisticsWithoutEncodingFinishEachSampleAtOnce) {
  winsim::SetSinkEncoding(false);
  ComRef<IMFSinkWriter> writer;
  ASSERT_EQ(Create(mp4test::TempPath("stats-record.mp4"), writer.Put()), S_OK);
  Declare(writer.Get(), 64, 48);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  ASSERT_EQ(WriteBytes(writer.Get(), 0, Halves(64, 48, true), 0, kFrame), S_OK);
  const auto stats = Stats(writer.Get(), 0);
  EXPECT_EQ(stats.qwNumSamplesReceived, 1u);
  EXPECT_EQ(stats.qwNumSamplesProcessed, 1u);
  EXPECT_EQ(stats.dwByteCountQueued, 0u);
}

// An encoder with a latency of N frames: frame k counts as processed once
// frame k + N was written, audio is not held, and Finalize drains all.
TEST_F(SinkWriterTest, EncoderLatencyHoldsFramesUntilLaterOnesOrFinalize) {
  const struct {
    const char* machine;
    int frames;
    std::vector<QWORD> processed;  // after each write
  } cases[] = {
      {R"({"encoder": {"latency_frames": 0}})", 4, {1, 2, 3, 4}},
      {R"({"encoder": {"latency_frames": 1}})", 4, {0, 1, 2, 3}},
      {R"({"encoder": {"latency_frames": 3}})", 5, {0, 0, 0, 1, 2}},
      {R"({"encoder": {"latency_frames": 60}})", 3, {0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.machine);
    winsim::SetSinkEncoding(false);
    std::string error;
    ASSERT_TRUE(winsim::LoadMachineJson(c.machine, &error)) << error;
    ComRef<IMFSinkWriter> writer;
    ASSERT_EQ(Create(mp4test::TempPath("latency.mp4"), writer.Put()), S_OK);
    Declare(writer.Get(), 64, 48, 48000, 2);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    const auto frame = Halves(64, 48, true);
    for (int i = 0; i < c.frames; ++i) {
      ASSERT_EQ(WriteBytes(writer.Get(), 0, frame, i * kFrame, kFrame), S_OK);
      const auto video = Stats(writer.Get(), 0);
      EXPECT_EQ(video.qwNumSamplesReceived, static_cast<QWORD>(i + 1));
      EXPECT_EQ(video.qwNumSamplesProcessed, c.processed[static_cast<std::size_t>(i)]);
      EXPECT_EQ(video.qwNumSamplesEncoded, c.processed[static_cast<std::size_t>(i)]);
      EXPECT_EQ(video.dwByteCountQueued,
                (i + 1 - c.processed[static_cast<std::size_t>(i)]) * frame.size());
    }
    ASSERT_EQ(WriteBytes(writer.Get(), 1, Tone(48000, 2, 4800), 0, 1'000'000), S_OK);
    EXPECT_EQ(Stats(writer.Get(), 1).qwNumSamplesProcessed, 1u) << "audio is not held";
    ASSERT_EQ(writer->Finalize(), S_OK);
    const auto video = Stats(writer.Get(), 0);
    EXPECT_EQ(video.qwNumSamplesProcessed, static_cast<QWORD>(c.frames));
    EXPECT_EQ(video.llLastTimestampProcessed, (c.frames - 1) * kFrame);
    EXPECT_EQ(video.dwByteCountQueued, 0u);
  }
}

}  // namespace
