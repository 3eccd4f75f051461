// Fragmented output, key frame intervals and a full disk: what a file holds
// when the writing stops before Finalize.
#include <gtest/gtest.h>
#include <codecapi.h>
#include <mfidl.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "sink_writer_test_support.h"

namespace {

using namespace sinktest;  // NOLINT: the shared helpers read as local ones

constexpr int kFps = 15;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

struct Box {
  std::string type;
  std::size_t offset;
};

// The top-level boxes of an MP4 file, up to the first that runs past the end.
std::vector<Box> TopLevelBoxes(const std::string& bytes) {
  std::vector<Box> boxes;
  std::size_t at = 0;
  while (at + 8 <= bytes.size()) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    const std::uint64_t size = (std::uint64_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    if (size < 8 || at + size > bytes.size()) break;
    boxes.push_back({bytes.substr(at + 4, 4), at});
    at += size;
  }
  return boxes;
}

int CountBoxes(const std::vector<Box>& boxes, const char* type) {
  int count = 0;
  for (const Box& box : boxes) count += box.type == type;
  return count;
}

// A writer as the recorder makes one, with the container asked for.
HRESULT CreateWith(const std::string& path, const GUID* container, IMFSinkWriter** writer) {
  ComRef<IMFAttributes> attributes;
  EXPECT_EQ(MFCreateAttributes(attributes.Put(), 2), S_OK);
  attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, 1);
  if (container != nullptr) attributes->SetGUID(MF_TRANSCODE_CONTAINERTYPE, *container);
  return MFCreateSinkWriterFromURL(Wide(path).c_str(), nullptr, attributes.Get(), writer);
}

// Waits until the encoder thread has finished every sample written so far.
void WaitForEncoder(IMFSinkWriter* writer) {
  for (int i = 0; i < 2000; ++i) {
    MF_SINK_WRITER_STATISTICS stats{};
    stats.cb = sizeof(stats);
    ASSERT_EQ(writer->GetStatistics(MF_SINK_WRITER_ALL_STREAMS, &stats), S_OK);
    if (stats.qwNumSamplesProcessed == stats.qwNumSamplesReceived) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  FAIL() << "the encoder did not catch up";
}

// `seconds` of 64 x 48 video at 15 frames per second and, with `audio`, 48 kHz
// stereo in 100-ms blocks, in time order.
void WriteSeconds(IMFSinkWriter* writer, int seconds, bool audio) {
  const auto frame = Halves(64, 48, true);
  const auto block = Tone(48000, 2, 4800);
  std::int64_t next_audio = 0;
  for (int i = 0; i < seconds * kFps; ++i) {
    const std::int64_t t = i * kFrame;
    while (audio && next_audio <= t) {
      ASSERT_EQ(WriteBytes(writer, 1, block, next_audio, 1'000'000), S_OK);
      next_audio += 1'000'000;
    }
    ASSERT_EQ(WriteBytes(writer, 0, frame, t, kFrame), S_OK);
  }
}

TEST_F(SinkWriterTest, ContainerTypeChoosesFragmentedOrOrdinaryMp4) {
  const struct {
    const char* name;
    const GUID* container;
    bool fragmented;
  } cases[] = {
      {"no container type", nullptr, false},
      {"MPEG-4", &MFTranscodeContainerType_MPEG4, false},
      {"fragmented MPEG-4", &MFTranscodeContainerType_FMPEG4, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = mp4test::TempPath("container.mp4");
    ComRef<IMFSinkWriter> writer;
    ASSERT_EQ(CreateWith(path, c.container, writer.Put()), S_OK);
    Declare(writer.Get(), 64, 48, 48000, 2);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    WriteSeconds(writer.Get(), 3, true);
    ASSERT_EQ(writer->Finalize(), S_OK);
    const auto boxes = TopLevelBoxes(ReadAll(path));
    EXPECT_EQ(CountBoxes(boxes, "moof") > 0, c.fragmented);
    EXPECT_EQ(CountBoxes(boxes, "moov"), 1);
    const auto streams = mp4test::ProbeMp4(path);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].frames, 3 * kFps);
    EXPECT_NEAR(streams[1].duration, 3.0, 0.1);
  }
}

TEST_F(SinkWriterTest, KeyFrameIntervalFollowsTheEncoderProperties) {
  const struct {
    const char* name;
    UINT32 gop_parameter;     // CODECAPI_AVEncMPVGOPSize; 0: unset
    UINT32 keyframe_spacing;  // MF_MT_MAX_KEYFRAME_SPACING; 0: unset
    int fragments;            // of 6 s at 15 frames per second
  } cases[] = {
      {"unset: every two seconds", 0, 0, 3},
      {"GOP of 15 frames", 15, 0, 6},
      {"key frame spacing of 45 frames", 0, 45, 2},
      {"the GOP property wins over the type", 30, 45, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = mp4test::TempPath("gop.mp4");
    ComRef<IMFSinkWriter> writer;
    ASSERT_EQ(CreateWith(path, &MFTranscodeContainerType_FMPEG4, writer.Put()), S_OK);
    DWORD index = 0;
    ASSERT_EQ(AddStream(
                  writer.Get(),
                  [&](IMFMediaType* t) {
                    VideoType(t, true, 64, 48);
                    if (c.keyframe_spacing)
                      t->SetUINT32(MF_MT_MAX_KEYFRAME_SPACING, c.keyframe_spacing);
                  },
                  &index),
              S_OK);
    ComRef<IMFAttributes> parameters;
    ASSERT_EQ(MFCreateAttributes(parameters.Put(), 1), S_OK);
    if (c.gop_parameter) parameters->SetUINT32(CODECAPI_AVEncMPVGOPSize, c.gop_parameter);
    ComRef<IMFMediaType> input;
    ASSERT_EQ(MFCreateMediaType(input.Put()), S_OK);
    VideoType(input.Get(), false, 64, 48);
    ASSERT_EQ(writer->SetInputMediaType(0, input.Get(), parameters.Get()), S_OK);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    WriteSeconds(writer.Get(), 6, false);
    ASSERT_EQ(writer->Finalize(), S_OK);
    EXPECT_EQ(CountBoxes(TopLevelBoxes(ReadAll(path)), "moof"), c.fragments);
  }
}

// A process killed while recording leaves the file as it is on disk: the
// header and every fragment completed so far, maybe part of the next.
TEST_F(SinkWriterTest, FragmentedFileCutShortPlaysItsWholeFragments) {
  const std::string path = mp4test::TempPath("fragmented.mp4");
  const std::string cut = mp4test::TempPath("fragmented-cut.mp4");
  ComRef<IMFSinkWriter> writer;
  ASSERT_EQ(CreateWith(path, &MFTranscodeContainerType_FMPEG4, writer.Put()), S_OK);
  Declare(writer.Get(), 64, 48, 48000, 2);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  WriteSeconds(writer.Get(), 5, true);
  WaitForEncoder(writer.Get());

  // Still writing: fragments 0-2 s and 2-4 s are complete, 4-5 s is not.
  WriteAll(cut, ReadAll(path));
  auto streams = mp4test::ProbeMp4(cut);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].frames, 4 * kFps);
  EXPECT_GE(streams[1].duration, 3.9);

  ASSERT_EQ(writer->Finalize(), S_OK);
  const std::string whole = ReadAll(path);
  const auto boxes = TopLevelBoxes(whole);
  std::vector<std::size_t> fragment_starts;
  for (const Box& box : boxes) {
    if (box.type == "moof") fragment_starts.push_back(box.offset);
  }
  ASSERT_EQ(fragment_starts.size(), 3u);
  std::mt19937 random(20261207);
  for (std::size_t k = 1; k < fragment_starts.size(); ++k) {
    SCOPED_TRACE("cut inside fragment " + std::to_string(k));
    const std::size_t end = k + 1 < fragment_starts.size() ? fragment_starts[k + 1] : whole.size();
    std::uniform_int_distribution<std::size_t> inside(fragment_starts[k] + 1, end - 1);
    WriteAll(cut, whole.substr(0, inside(random)));
    streams = mp4test::ProbeMp4(cut);
    ASSERT_EQ(streams.size(), 2u);
    // The whole fragments before the cut, and what of the cut one is whole.
    EXPECT_GE(streams[0].frames, static_cast<std::int64_t>(k) * 2 * kFps);
    EXPECT_LE(streams[0].frames, static_cast<std::int64_t>(k + 1) * 2 * kFps);
    EXPECT_GE(streams[1].duration, k * 2 - 0.1);
  }
  unlink(cut.c_str());
}

// A microphone that never delivers must not keep the video off the disk.
TEST_F(SinkWriterTest, FragmentsReachTheDiskWhileAStreamIsSilent) {
  const std::string path = mp4test::TempPath("silent-stream.mp4");
  const std::string copy = mp4test::TempPath("silent-stream-copy.mp4");
  ComRef<IMFSinkWriter> writer;
  ASSERT_EQ(CreateWith(path, &MFTranscodeContainerType_FMPEG4, writer.Put()), S_OK);
  Declare(writer.Get(), 64, 48, 48000, 2);
  ASSERT_EQ(writer->BeginWriting(), S_OK);
  WriteSeconds(writer.Get(), 5, /*audio=*/false);
  WaitForEncoder(writer.Get());
  WriteAll(copy, ReadAll(path));
  const auto streams = mp4test::ProbeMp4(copy);
  ASSERT_GE(streams.size(), 1u);
  EXPECT_EQ(streams[0].frames, 4 * kFps);
  ASSERT_EQ(writer->Finalize(), S_OK);
  unlink(copy.c_str());
}

std::vector<BYTE> Noise(std::mt19937* random) {
  std::vector<BYTE> pixels(64 * 48 * 4);
  for (BYTE& b : pixels) b = static_cast<BYTE>((*random)());
  return pixels;
}

TEST_F(SinkWriterTest, FullDiskFailsTheWriterAndKeepsWhatWasWritten) {
  constexpr std::int64_t kFree = 200'000;
  for (bool fragmented : {true, false}) {
    SCOPED_TRACE(fragmented ? "fragmented" : "ordinary");
    ASSERT_TRUE(winsim::LoadMachineJson(R"({"disk": {"free_bytes": 200000}})", nullptr));
    const std::string path = mp4test::TempPath("full-disk.mp4");
    ComRef<IMFSinkWriter> writer;
    ASSERT_EQ(
        CreateWith(path, fragmented ? &MFTranscodeContainerType_FMPEG4 : nullptr, writer.Put()),
        S_OK);
    DWORD index = 0;
    ASSERT_EQ(AddStream(
                  writer.Get(), [](IMFMediaType* t) { VideoType(t, true, 64, 48); }, &index),
              S_OK);
    ComRef<IMFAttributes> parameters;
    ASSERT_EQ(MFCreateAttributes(parameters.Put(), 1), S_OK);
    parameters->SetUINT32(CODECAPI_AVEncMPVGOPSize, 5);
    ComRef<IMFMediaType> input;
    ASSERT_EQ(MFCreateMediaType(input.Put()), S_OK);
    VideoType(input.Get(), false, 64, 48);
    ASSERT_EQ(writer->SetInputMediaType(0, input.Get(), parameters.Get()), S_OK);
    ASSERT_EQ(writer->BeginWriting(), S_OK);

    // Noise does not compress: the file outgrows the room within a few
    // hundred frames, and the failure reaches the next WriteSample.
    std::mt19937 random(7);
    HRESULT hr = S_OK;
    int written = 0;
    for (; written < 1000 && hr == S_OK; ++written) {
      hr = WriteBytes(writer.Get(), 0, Noise(&random), written * kFrame, kFrame);
      if (written % 10 == 9) WaitForEncoder(writer.Get());
    }
    EXPECT_EQ(hr, kDiskFull) << "after " << written << " frames";
    EXPECT_EQ(writer->Finalize(), kDiskFull);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_LE(info.st_size, kFree);
    EXPECT_GT(info.st_size, kFree / 2);
    const auto streams = mp4test::ProbeMp4(path);
    if (fragmented) {
      ASSERT_EQ(streams.size(), 1u) << "the fragments before the disk filled still play";
      EXPECT_GE(streams[0].frames, 5);
    } else {
      EXPECT_TRUE(streams.empty()) << "an ordinary file needs its index";
    }
  }
}

}  // namespace
