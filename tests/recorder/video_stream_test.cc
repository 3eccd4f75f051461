#include "recorder/video/video_stream.h"

#include "video_test_support.h"

using morl::ComRef;
using morl::Utf8ToWide;

using namespace morl::recorder;

namespace {

TEST(VideoBitrate, ScalesWithSizeWithinLimits) {
  struct Case {
    std::int32_t width, height;
    UINT32 bitrate;
  } const cases[] = {
      {1920, 1080, 3'888'000}, {1280, 720, 1'728'000},
      {1024, 768, 1'500'000},                             // computes 1,474,560: raised to the floor
      {1034, 774, 1'500'592},                             // just above the floor
      {2560, 1440, 6'912'000}, {3840, 2160, 10'000'000},  // computes 15,552,000
      {2432, 2192, 9'995'520},                            // just below the ceiling
      {0, 0, 1'500'000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VideoBitrate(c.width, c.height), c.bitrate) << c.width << " x " << c.height;
  }
}

using AddVideoStreamTest = VideoTest;

TEST_F(AddVideoStreamTest, DeclaresH264OutputAndRgb32Input) {
  OpenWriter(1366, 768);
  const auto writers = winsim::SinkWriters();
  ASSERT_FALSE(writers.empty());
  ASSERT_EQ(writers.back().streams.size(), 1u);
  const winsim::SinkStream& s = writers.back().streams[0];
  EXPECT_TRUE(s.major_type == MFMediaType_Video);
  EXPECT_TRUE(s.subtype == MFVideoFormat_H264);
  EXPECT_TRUE(s.input_subtype == MFVideoFormat_RGB32);
  EXPECT_EQ(s.width, 1366u);
  EXPECT_EQ(s.height, 768u);
  EXPECT_EQ(s.default_stride, -1366 * 4);  // bottom-up rows, said explicitly
  EXPECT_EQ(s.bitrate, 1'967'040u);
  EXPECT_TRUE(writers.back().throttling_disabled);
}

TEST_F(AddVideoStreamTest, ReturnsTheFirstFailure) {
  struct Case {
    const char* call;
    int nth;
    int add_stream_calls, set_input_calls;  // how far it went
  } const cases[] = {
      {"MFCreateMediaType", 1, 0, 0},
      {"IMFSinkWriter::AddStream", 1, 1, 0},
      {"MFCreateMediaType", 2, 1, 0},
      {"IMFAttributes::SetUINT32", 4, 1, 0},  // the input's stride
      {"IMFSinkWriter::SetInputMediaType", 1, 1, 1},
  };
  const std::wstring path = Utf8ToWide(path_);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " #" + std::to_string(c.nth));
    winsim::ResetMachine();
    winsim::SetSinkEncoding(false);
    ComRef<IMFSinkWriter> writer;
    ASSERT_EQ(MFCreateSinkWriterFromURL(path.c_str(), nullptr, nullptr, writer.Put()), S_OK);
    winsim::FailCall(c.call, E_OUTOFMEMORY, c.nth);
    DWORD index = 0;
    EXPECT_EQ(AddVideoStream(writer.Get(), 640, 480, &index), E_OUTOFMEMORY);
    EXPECT_EQ(winsim::CallCount("IMFSinkWriter::AddStream"), c.add_stream_calls);
    EXPECT_EQ(winsim::CallCount("IMFSinkWriter::SetInputMediaType"), c.set_input_calls);
    writer.Reset();
    winsim::ClearFailures();
    for (const auto& [key, count] : winsim::LiveObjects()) {
      EXPECT_NE(key.rfind("com:", 0), 0u) << key << " x" << count;
    }
  }
}

}  // namespace
