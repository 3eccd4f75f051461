// Starting and stopping a recording: every refusal and failure code, the
// undo after each failure, and what a stop reports.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "audio_machine.h"
#include "media_file_check.h"
#include "recorder/recorder.h"
#include "recorder/recording_target.h"
#include "recorder/video/gpu_frames.h"
#include "recorder/video/video_stream.h"
#include "recorder_calls.h"
#include "win32_support/utf_conversion.h"
#include "winsim.h"
#include "winsim_audio.h"
#include "winsim_costs.h"
#include "winsim_gpu.h"
#include "tests/support/machine_test.h"

using morl::Utf8ToWide;
using morl::WideToUtf8;

using namespace morl::recorder;

namespace {

using flutter::EncodableValue;

// Everything alive except the test thread's own apartment.
std::map<std::string, int> LiveBesidesApartment() {
  auto live = winsim::LiveObjects();
  for (auto it = live.begin(); it != live.end();) {
    it = it->first.rfind("apartment", 0) == 0 ? live.erase(it) : std::next(it);
  }
  return live;
}

struct RecordingControlTest : machine_test::MachineTest {
  std::string path = TempMediaPath("control.mp4");
  std::string code, message;
  flutter::ValueMap stats;
  StartReport report;  // the last start's; empty when it failed
  Recorder recorder;

  void SetUp() override {
    MachineTest::SetUp();
    winsim::SetSinkEncoding(false);
    winsim::SetScreenSize(320, 240);
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), 0);
  }
  void TearDown() override {
    if (recorder.recording()) Stop();
    winsim::ClearFailures();
    CoUninitialize();
    // Before the recorder goes: a stopped recorder holds nothing.
    EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
    std::remove(path.c_str());
  }
  HRESULT Start(bool system_audio) {
    const Result<StartReport> started = recorder.Start(Utf8ToWide(path), system_audio);
    report = started ? *started : StartReport();
    return Outcome(started, code, message);
  }
  HRESULT Stop() {
    code.clear();
    message.clear();
    stats.clear();
    return StopRecorder(recorder, code, message, stats);
  }
  const EncodableValue& Stat(const char* key) { return stats.at(EncodableValue(key)); }
  std::string CaptureStatus() {
    const flutter::ValueMap status = StatusReply(recorder.Status());
    return std::get<std::string>(status.at(EncodableValue("capture")));
  }
  // Records briefly with `failing_call` (null: none) failing every time: the
  // screen is read as `capture` says, frames are written without a
  // videoError, and nothing is left behind.
  void RecordBrieflyWith(const char* failing_call, const char* capture) {
    if (failing_call != nullptr) winsim::FailAlways(failing_call, E_FAIL);
    ASSERT_EQ(Start(false), S_OK) << code << " " << message;
    EXPECT_EQ(CaptureStatus(), capture);
    ASSERT_EQ(Stop(), S_OK) << code << " " << message;
    winsim::ClearFailures();
    EXPECT_GE(std::get<std::int64_t>(Stat("frames")), 1);
    EXPECT_EQ(stats.find(EncodableValue("videoError")), stats.end());
    ExpectIdleAndUndone();
  }
  void ExpectIdleAndUndone() {
    EXPECT_FALSE(recorder.recording());
    EXPECT_EQ(recorder.options(), nullptr);
    EXPECT_FALSE(winsim::MediaFoundationStarted());
    EXPECT_TRUE(LiveBesidesApartment().empty()) << winsim::DescribeLiveObjects();
  }
};

TEST_F(RecordingControlTest, FailedStartsReportTheirCodeAndUndoEverything) {
  struct Case {
    const char* call;
    HRESULT hr;
    const char* code;
    const char* message;
  } cases[] = {
      {"MFStartup", E_OUTOFMEMORY, "encoder_missing", "MFStartup hr=0x8007000e"},
      {"MFCreateSinkWriterFromURL", E_ACCESSDENIED, "sink_failed", "create hr=0x80070005"},
      // A writer that would make capture wait for the encoder is not used.
      {"MFCreateAttributes", E_OUTOFMEMORY, "sink_failed", "create hr=0x8007000e"},
      {"IMFAttributes::SetUINT32", E_OUTOFMEMORY, "sink_failed", "create hr=0x8007000e"},
      {"IMFSinkWriter::AddStream", E_FAIL, "encoder_missing", "H264 hr=0x80004005"},
      {"IMFSinkWriter::SetInputMediaType", E_INVALIDARG, "encoder_missing", "H264 hr=0x80070057"},
      {"IMFSinkWriter::BeginWriting", E_UNEXPECTED, "sink_failed", "begin hr=0x8000ffff"},
  };
  for (const Case& c : cases) {
    for (bool system_audio : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.call << " systemAudio " << system_audio);
      winsim::FailCall(c.call, c.hr);
      EXPECT_EQ(Start(system_audio), c.hr);
      EXPECT_EQ(code, c.code);
      EXPECT_EQ(message, c.message);
      ExpectIdleAndUndone();
      winsim::ClearFailures();
      // The recorder is usable again at once.
      ASSERT_EQ(Start(system_audio), S_OK) << code << " " << message;
      ASSERT_EQ(Stop(), S_OK);
    }
  }
}

// The encoder's largest size is known only from its refusal: a size it
// refuses is tried again at the next smaller fit, on a new writer, and the
// frames are scaled to what it took; an encoder that takes none of them
// fails the start as before.
TEST_F(RecordingControlTest, SizeTheEncoderRefusesIsRetriedSmaller) {
  struct Case {
    std::int32_t screen_width, screen_height;
    const char* encoder;
    std::int32_t width, height;  // recorded; 0: the start fails
    int writers;                 // sink writers made
  } const cases[] = {
      {1920, 1080, R"({"max_width": 4096, "max_height": 2304})", 1920, 1080, 1},
      {3840, 2160, R"({"max_width": 1920, "max_height": 1088})", 1920, 1080, 3},
      {2560, 1600, R"({"max_width": 2048, "max_height": 2048})", 1728, 1080, 3},
      {1920, 1080, R"({"max_width": 1280, "max_height": 720})", 1280, 720, 2},
      {1920, 1080, R"({"max_width": 640, "max_height": 480})", 0, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.encoder);
    winsim::ResetSinkWriters();
    winsim::SetSinkEncoding(false);
    winsim::SetScreenSize(c.screen_width, c.screen_height);
    std::string error;
    // Without a GPU, whose own encoder would take sizes the software one refuses.
    ASSERT_TRUE(winsim::LoadMachineJson(
        std::string(R"({"gpu": null, "encoder": )") + c.encoder + "}", &error))
        << error;
    if (c.width == 0) {
      EXPECT_EQ(Start(false), MF_E_TOPO_CODEC_NOT_FOUND);
      EXPECT_EQ(code, "encoder_missing");
      EXPECT_EQ(message, "H264 hr=0xc00d5212");
      ExpectIdleAndUndone();
    } else {
      ASSERT_EQ(Start(false), S_OK) << code << " " << message;
      ASSERT_EQ(Stop(), S_OK);
      EXPECT_EQ(std::get<std::int32_t>(Stat("width")), c.width);
      EXPECT_EQ(std::get<std::int32_t>(Stat("height")), c.height);
    }
    const std::vector<winsim::SinkWriterRecord> writers = winsim::SinkWriters();
    ASSERT_EQ(static_cast<int>(writers.size()), c.writers);
    EXPECT_EQ(writers.back().finalized, c.width != 0);
  }
}

// The screen is read by duplication where the GPU allows it; any step of
// setting it up that fails leaves the recording to GDI, which records the
// same frames, and leaves nothing of the GPU behind.
TEST_F(RecordingControlTest, DuplicationThatCannotBeSetUpLeavesTheScreenToGdi) {
  const struct {
    const char* failing_call;  // failed every time; null: none
    const char* capture;
  } cases[] = {
      {nullptr, "duplication"},
      {"CreateDXGIFactory1", "gdi"},
      {"IDXGIAdapter::EnumOutputs", "gdi"},
      {"D3D11CreateDevice", "gdi"},
      {"MFCreateDXGIDeviceManager", "gdi"},
      {"IDXGIOutput5::DuplicateOutput1", "gdi"},
      {"ID3D11Device::CreateTexture2D", "gdi"},
      {"IDXGIOutputDuplication::AcquireNextFrame", "gdi"},  // no first image
      {"MFCreateDXGISurfaceBuffer", "gdi"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failing_call != nullptr ? c.failing_call : "none");
    winsim::ResetSinkWriters();
    RecordBrieflyWith(c.failing_call, c.capture);
  }
}

// A GPU whose H.264 encoder takes frames up to `width` x `height`.
winsim::Gpu GpuTakingUpTo(int width, int height) {
  winsim::Gpu gpu;
  gpu.max_width = width;
  gpu.max_height = height;
  return gpu;
}

// A frame of another size than the display (here: encoders that take no
// more than 1280 x 720 of a 1920 x 1080 display) is scaled on the GPU where it
// has a video processor; without one, or when it fails, the recording reads
// through GDI and scales on the processor. Either way the file has the size
// the encoder took, and nothing of the GPU is left.
TEST_F(RecordingControlTest, FramesOfAnotherSizeAreScaledOnTheGpuWhereItCan) {
  winsim::SetScreenSize(1920, 1080);
  const winsim::Gpu small = GpuTakingUpTo(1280, 720);
  winsim::Gpu without_processor = small;
  without_processor.video_processor = false;
  const struct {
    const char* name;
    bool encoder_limit;
    std::optional<winsim::Gpu> gpu;
    const char* failing_call;  // failed every time; null: none
    const char* capture;
  } cases[] = {
      {"the display's size", false, winsim::Gpu(), nullptr, "duplication"},
      {"smaller", true, small, nullptr, "duplication"},
      {"smaller, no video processor", true, without_processor, nullptr, "gdi"},
      {"smaller, no processor made", true, small, "ID3D11VideoDevice::CreateVideoProcessor",
       "gdi"},
      {"smaller, scaling fails", true, small, "ID3D11VideoContext::VideoProcessorBlt", "gdi"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    ASSERT_TRUE(winsim::LoadMachineJson(
        c.encoder_limit ? R"({"encoder": {"max_width": 1280, "max_height": 720}})" : "{}", &error))
        << error;
    winsim::SetGpu(c.gpu);
    RecordBrieflyWith(c.failing_call, c.capture);
    EXPECT_EQ(std::get<std::int32_t>(Stat("width")), c.encoder_limit ? 1280 : 1920);
    EXPECT_EQ(std::get<std::int32_t>(Stat("height")), c.encoder_limit ? 720 : 1080);
  }
}

// However far the encoder falls behind, a texture handed to it is not drawn
// into again until it has taken the frame: the ring of textures outlasts
// the frames the recording lets into the writer.
TEST_F(RecordingControlTest, TexturesHandedToTheEncoderStayAsCapturedUntilItTakesThem) {
  winsim::Costs costs;
  costs.hardware_encode_ms_per_mpixel = 0.01;  // the writer encodes on a thread of its own
  winsim::SetCosts(costs);
  winsim::HoldSinkEncoding(true);
  ASSERT_EQ(Start(false), S_OK) << code << " " << message;
  EXPECT_EQ(CaptureStatus(), "duplication");
  const std::size_t held = static_cast<std::size_t>(GpuFramesInFlight(320, 240));
  for (int i = 0; i < 1000 && winsim::SinkWriters().back().samples.size() < held; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // frames dropped meanwhile
  winsim::HoldSinkEncoding(false);
  ASSERT_EQ(Stop(), S_OK) << code << " " << message;
  const winsim::SinkWriterRecord record = winsim::SinkWriters().back();
  EXPECT_GE(record.samples.size(), held);
  EXPECT_EQ(record.frames_drawn_over, 0u);
}

// The GPU's encoder takes the video only when the start allows it and the
// GPU has one that takes the recorded size; "hardware" without it fails the
// start and leaves nothing. The status names the encoder that took it.
TEST_F(RecordingControlTest, EncoderChoiceFollowsTheGpuAndTheRecordedSize) {
  winsim::SetScreenSize(640, 480);
  const winsim::Gpu h264 = GpuTakingUpTo(320, 240);
  winsim::Gpu no_encoder = h264;
  no_encoder.encoders.clear();
  const CaptureRegion fits{0, 0, 320, 240}, too_large{0, 0, 400, 300};
  const char* const kTransforms = "IMFSinkWriterEx::GetTransformForStream";
  struct Case {
    const char* name;
    std::optional<winsim::Gpu> gpu;
    EncoderChoice choice;
    CaptureRegion region;
    const char* failing_call;  // failed every time; null: none
    const char* encoder;       // the status's; null: the start fails
  } const cases[] = {
      {"H.264 GPU, auto", h264, EncoderChoice::kAuto, fits, nullptr, "hardware"},
      {"H.264 GPU, hardware", h264, EncoderChoice::kHardware, fits, nullptr, "hardware"},
      {"H.264 GPU, software", h264, EncoderChoice::kSoftware, fits, nullptr, "software"},
      {"region over the GPU's size, auto", h264, EncoderChoice::kAuto, too_large, nullptr,
       "software"},
      {"region over the GPU's size, hardware", h264, EncoderChoice::kHardware, too_large, nullptr,
       nullptr},
      {"GPU without encoders, auto", no_encoder, EncoderChoice::kAuto, fits, nullptr, "software"},
      {"GPU without encoders, hardware", no_encoder, EncoderChoice::kHardware, fits, nullptr,
       nullptr},
      {"no GPU, auto", std::nullopt, EncoderChoice::kAuto, fits, nullptr, "software"},
      {"no GPU, hardware", std::nullopt, EncoderChoice::kHardware, fits, nullptr, nullptr},
      {"transforms not shown, auto", h264, EncoderChoice::kAuto, fits, kTransforms, "software"},
      {"transforms not shown, hardware", h264, EncoderChoice::kHardware, fits, kTransforms,
       nullptr},
  };
  const std::string partial = WideToUtf8(PartialRecordingPath(Utf8ToWide(path)));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::SetGpu(c.gpu);
    winsim::ResetSinkWriters();
    if (c.failing_call != nullptr) winsim::FailAlways(c.failing_call, E_NOTIMPL);
    StartOptions options;
    options.path = Utf8ToWide(path);
    options.region = c.region;
    options.encoder = c.choice;
    const HRESULT started = StartRecorder(recorder, options, code, message);
    winsim::ClearFailures();
    if (c.encoder == nullptr) {
      EXPECT_EQ(started, MF_E_TOPO_CODEC_NOT_FOUND);
      EXPECT_EQ(code, "encoder_unavailable");
      EXPECT_EQ(message, "no hardware H.264 encoder takes the video (" +
                             std::to_string(c.region.width) + " x " +
                             std::to_string(c.region.height) + ")");
      ExpectIdleAndUndone();
      EXPECT_FALSE(std::ifstream(partial).good()) << "partial file left behind";
      continue;
    }
    ASSERT_EQ(started, S_OK) << code << " " << message;
    const flutter::ValueMap status = StatusReply(recorder.Status());
    EXPECT_EQ(std::get<std::string>(status.at(EncodableValue("encoder"))), c.encoder);
    // Duplication reads the screen wherever there is a GPU.
    EXPECT_EQ(std::get<std::string>(status.at(EncodableValue("capture"))),
              c.gpu ? "duplication" : "gdi");
    // A writer that shows no transforms is reported as running the software
    // encoder, whichever it runs.
    if (c.failing_call == nullptr) {
      EXPECT_EQ(winsim::SinkWriters().back().streams.at(0).hardware_encoder,
                std::string(c.encoder) == "hardware");
    }
    ASSERT_EQ(Stop(), S_OK) << message;
  }
}

// The bit rate asked for is the output type's and the encoder's, and the
// file's size follows it on either encoder; without one the rate follows
// the frame size and rate. The screen is noise, so the encoder spends all
// it may.
TEST_F(RecordingControlTest, VideoBitrateAskedForReachesTheFile) {
  winsim::GetScreen().animate = [random = std::mt19937(11)](winsim::Screen& screen,
                                                            std::int64_t) mutable {
    for (std::uint32_t& pixel : screen.pixels) pixel = random() & 0xFFFFFF;
  };
  struct Case {
    EncoderChoice choice;
    std::optional<std::int32_t> asked;
    std::uint32_t type_bitrate;
    bool encode;  // measure the file's bit rate against type_bitrate
  } const cases[] = {
      {EncoderChoice::kSoftware, std::nullopt, VideoBitrate(320, 240, 15), true},
      {EncoderChoice::kSoftware, 6'000'000, 6'000'000, true},
      {EncoderChoice::kAuto, 8'000'000, 8'000'000, true},
      {EncoderChoice::kAuto, kMinVideoBitrate, 100'000, false},
      {EncoderChoice::kHardware, kMaxVideoBitrate, 100'000'000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.type_bitrate << " bit/s");
    winsim::SetSinkEncoding(c.encode);
    StartOptions options;
    options.path = Utf8ToWide(path);
    options.encoder = c.choice;
    options.video_bitrate = c.asked;
    ASSERT_EQ(StartRecorder(recorder, options, code, message), S_OK) << code << " " << message;
    if (c.encode) Sleep(2000);
    ASSERT_EQ(Stop(), S_OK) << message;
    EXPECT_EQ(winsim::SinkWriters().back().streams.at(0).bitrate, c.type_bitrate);
    if (!c.encode) continue;
    const double seconds = std::get<std::int64_t>(Stat("durationMs")) / 1000.0;
    const double rate = std::get<std::int64_t>(Stat("bytes")) * 8 / seconds;
    // Loose: over two seconds the key frames of noise make the encoder
    // overshoot by up to about 1.8 times, and frames dropped under load
    // lower the rate; a rate not passed on gives the derived 1.5 Mbit/s.
    EXPECT_GT(rate, c.type_bitrate * 0.6);
    EXPECT_LT(rate, c.type_bitrate * 2.0);
  }
}

TEST_F(RecordingControlTest, RefusalsChangeNothing) {
  EXPECT_EQ(Stop(), E_FAIL);
  EXPECT_EQ(code, "not_recording");
  EXPECT_EQ(message, "");

  winsim::SetScreenMetrics(1, 240);
  EXPECT_EQ(Start(false), E_FAIL);
  EXPECT_EQ(code, "no_screen");
  EXPECT_EQ(message, "GetSystemMetrics reported no primary display");
  ExpectIdleAndUndone();

  winsim::SetScreenSize(320, 240);
  ASSERT_EQ(Start(false), S_OK);
  EXPECT_EQ(Start(true), E_FAIL);
  EXPECT_EQ(code, "already_recording");
  EXPECT_EQ(message, "");
  EXPECT_TRUE(recorder.recording());
  ASSERT_NE(recorder.options(), nullptr);
  EXPECT_FALSE(recorder.options()->system_audio);  // the first recording's
  ASSERT_EQ(Stop(), S_OK);
  EXPECT_EQ(Stop(), E_FAIL);
  EXPECT_EQ(code, "not_recording");
  EXPECT_TRUE(stats.empty());
}

TEST_F(RecordingControlTest, StopReportsRoundedSizeAndFullFileSize) {
  winsim::SetScreenSize(323, 241);
  const std::uint64_t size = (std::uint64_t{5} << 32) + 12345;  // above 4 GiB
  winsim::SetFileSizeOverride(Utf8ToWide(path), size);
  ASSERT_EQ(Start(true), S_OK);
  Sleep(150);
  ASSERT_EQ(Stop(), S_OK);
  EXPECT_EQ(stats.size(), 7u);
  EXPECT_EQ(std::get<std::string>(Stat("path")), path);
  EXPECT_EQ(std::get<std::int32_t>(Stat("width")), std::int32_t{322});
  EXPECT_EQ(std::get<std::int32_t>(Stat("height")), std::int32_t{240});
  EXPECT_EQ(std::get<std::int64_t>(Stat("bytes")), static_cast<std::int64_t>(size));
  const auto frames = std::get<std::int64_t>(Stat("frames"));
  EXPECT_GE(frames, 1);
  std::int64_t video_samples = 0;
  std::int64_t video_end = 0;
  const std::vector<winsim::SinkWriterRecord> writers = winsim::SinkWriters();
  for (const auto& sample : writers.back().samples) {
    if (static_cast<long>(sample.stream) != LastStreamIndex(MFMediaType_Video)) continue;
    ++video_samples;
    video_end = sample.time + sample.duration;
  }
  EXPECT_EQ(frames, video_samples);
  EXPECT_EQ(std::get<std::int64_t>(Stat("durationMs")), video_end / 10000);
  EXPECT_EQ(std::get<bool>(Stat("hadAudio")), report.audio);
}

TEST_F(RecordingControlTest, DisplayLargerThanTheEncoderTakesIsRecordedScaledToFit) {
  struct Case {
    int width, height;
    std::int32_t recorded_width, recorded_height;
  } const cases[] = {
      {4096, 2304, 4096, 2304},  // the largest frame: kept
      {4098, 2304, 4096, 2302},  // just over: scaled, aspect kept, even
      {5120, 1440, 4096, 1152},  // wide multi-display layout
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    winsim::SetScreenSize(c.width, c.height);
    ASSERT_EQ(Start(false), S_OK) << code << " " << message;
    ASSERT_EQ(Stop(), S_OK);
    EXPECT_EQ(std::get<std::int32_t>(Stat("width")), c.recorded_width);
    EXPECT_EQ(std::get<std::int32_t>(Stat("height")), c.recorded_height);
    const winsim::SinkWriterRecord writer = winsim::SinkWriters().back();
    EXPECT_EQ(writer.streams.at(0).width, static_cast<std::uint32_t>(c.recorded_width));
    EXPECT_EQ(writer.streams.at(0).height, static_cast<std::uint32_t>(c.recorded_height));
    ASSERT_FALSE(writer.samples.empty());
    EXPECT_EQ(writer.samples[0].bytes, static_cast<std::size_t>(c.recorded_width) *
                                           static_cast<std::size_t>(c.recorded_height) * 4);
  }
}

TEST_F(RecordingControlTest, ScreenThatCannotBeCapturedFailsTheStart) {
  // Without a GPU the screen is read through GDI only.
  winsim::SetGpu(std::nullopt);
  winsim::FailAlways("CreateDIBSection", E_FAIL);
  EXPECT_EQ(Start(false), E_OUTOFMEMORY);
  EXPECT_EQ(code, "start_failed");
  EXPECT_EQ(message, "screen capture bitmap unavailable");
  ExpectIdleAndUndone();
}

TEST_F(RecordingControlTest, StopRightAfterStartGivesAFileWithAFrame) {
  ASSERT_EQ(Start(false), S_OK);
  ASSERT_EQ(Stop(), S_OK);
  EXPECT_GE(std::get<std::int64_t>(Stat("frames")), std::int64_t{1});
  EXPECT_GT(std::get<std::int64_t>(Stat("durationMs")), std::int64_t{0});
  EXPECT_EQ(stats.size(), 7u);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(PartialRecordingPath, KeepsFolderAndExtensionSoTheContainerIsTheSame) {
  const struct {
    const wchar_t* target;
    const wchar_t* partial;
  } cases[] = {
      {L"C:\\Videos\\rec.mp4", L"C:\\Videos\\rec.mp4.partial.mp4"},
      {L"C:\\Videos\\rec.unknown", L"C:\\Videos\\rec.unknown.partial.unknown"},
      {L"C:\\v1.2\\rec", L"C:\\v1.2\\rec.partial"},  // a dot in a folder is no extension
      {L"/tmp/a.b/rec", L"/tmp/a.b/rec.partial"},
  };
  for (const auto& c : cases) EXPECT_EQ(PartialRecordingPath(c.target), c.partial);
}

// Names by Windows' naming rules: what a start refuses, and what it takes as
// written (a literal path, a drive's colon, names that only begin like a
// device's).
TEST(TargetNameProblem, RefusesWhatWindowsRefusesOrRenames) {
  const std::string device = "output file name is the device name ";
  const std::string characters =
      "output path contains a character Windows does not allow in file names";
  const struct {
    const wchar_t* path;
    std::string problem;
  } cases[] = {
      {L"C:\\Videos\\rec.mp4", ""},
      {L"C:/Videos/NULL.mp4", ""},
      {L"C:\\Videos\\console.mp4", ""},
      {L"C:\\Videos\\COM10.mp4", ""},
      {L"\\\\?\\C:\\Videos\\nul.mp4", ""},  // taken literally
      {L"C:\\Videos\\nul", device + "NUL, which Windows reserves"},
      {L"C:\\Videos\\Con.a.b", device + "CON, which Windows reserves"},
      {L"C:\\Videos\\conout$.mp4", device + "CONOUT$, which Windows reserves"},
      {L"C:\\Videos\\com\u00b2.mp4", device + "COM\u00b2, which Windows reserves"},
      {L"C:\\Videos\\rec\t.mp4", characters},
      {L"C:\\Vid|eos\\rec.mp4", characters},
      {L"\\\\?\\C:\\Videos\\a*.mp4", characters},
      {L"C:", "output path names a folder, not a file"},
      {L"C:\\Videos\\..", "output path names a folder, not a file"},
      {L"C:\\Videos\\rec. . ", "output file name ends in a dot or a space, which Windows drops"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.path));
    EXPECT_EQ(TargetNameProblem(c.path), c.problem);
  }
}

TEST(RecoveredPath, NumbersFreeNamesBesideTheTarget) {
  EXPECT_EQ(RecoveredPath(L"C:\\Videos\\rec.mp4", 1), L"C:\\Videos\\rec (recovered).mp4");
  EXPECT_EQ(RecoveredPath(L"C:\\Videos\\rec.mp4", 2), L"C:\\Videos\\rec (recovered 2).mp4");
  EXPECT_EQ(RecoveredPath(L"C:\\v1.2\\rec", 3), L"C:\\v1.2\\rec (recovered 3)");
  EXPECT_EQ(RecoveredPath(L"/tmp/a.b.mp4", 1), L"/tmp/a.b (recovered).mp4");
}

// A launcher that starts no worker, so that a start makes its calls on this
// thread only and makes the same ones every time.
std::thread NoWorker(std::function<void()>) { return std::thread(); }

// Every simulated call a good start makes, failed in turn: the start either
// fails with a coded error, having undone everything and left the file it
// would replace as it was, or goes on without what failed and stops cleanly;
// either way the next start works.
TEST_F(RecordingControlTest, EachCallOfAStartFailedInTurnIsUndone) {
  recorder.SetWorkerLauncher(NoWorker);
  const std::string partial = WideToUtf8(PartialRecordingPath(Utf8ToWide(path)));
  for (bool system_audio : {false, true}) {
    std::ofstream(path, std::ios::binary) << "an earlier recording";
    winsim::ResetCallCounts();
    ASSERT_EQ(Start(system_audio), S_OK) << message;
    const std::map<std::string, int> calls = winsim::CallCounts();
    ASSERT_EQ(Stop(), S_OK) << message;
    int failed_starts = 0;
    for (const auto& [call, count] : calls) {
      for (int nth = 1; nth <= count; ++nth) {
        SCOPED_TRACE(testing::Message() << call << " #" << nth << " systemAudio " << system_audio);
        std::ofstream(path, std::ios::binary) << "an earlier recording";
        winsim::FailCall(call, E_OUTOFMEMORY, nth);
        if (FAILED(Start(system_audio))) {
          ++failed_starts;
          EXPECT_FALSE(code.empty());
          EXPECT_FALSE(message.empty());
          EXPECT_EQ(ReadWholeFile(path), "an earlier recording");
        } else {
          Stop();
        }
        winsim::ClearFailures();
        ExpectIdleAndUndone();
        EXPECT_FALSE(std::ifstream(partial).good()) << "partial file left behind";
        ASSERT_EQ(Start(system_audio), S_OK) << code << " " << message;
        ASSERT_EQ(Stop(), S_OK) << message;
      }
    }
    EXPECT_GT(failed_starts, 10);
  }
}

// A file another program holds open without letting it be deleted (a player)
// could never be replaced by the stop: refused, with nothing written, and
// taken once the program lets go.
TEST_F(RecordingControlTest, TargetOpenInAnotherProgramIsRefusedUntilItIsClosed) {
  // The start waits 2 s of machine time for the file to be let go.
  std::string error;
  ASSERT_TRUE(winsim::LoadMachineJson(R"({"clock": {"speed": 20}})", &error)) << error;
  std::ofstream(path, std::ios::binary) << "an earlier recording";
  const std::string partial = WideToUtf8(PartialRecordingPath(Utf8ToWide(path)));
  HANDLE player =
      CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(player, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Start(false), HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(code, "start_failed");
  EXPECT_EQ(message, "output file is open in another program");
  CloseHandle(player);
  ExpectIdleAndUndone();
  EXPECT_EQ(ReadWholeFile(path), "an earlier recording");
  EXPECT_FALSE(std::ifstream(partial).good()) << "partial file written";
  winsim::SetSinkEncoding(true);
  ASSERT_EQ(Start(false), S_OK) << message;
  ASSERT_EQ(Stop(), S_OK) << message;
  EXPECT_NE(ReadWholeFile(path), "an earlier recording");
}

// The file an earlier recording left at the partial path is moved to the
// first free "(recovered)" name and named in the report; a start with nothing
// left over reports nothing.
TEST_F(RecordingControlTest, EarlierRecordingsFileIsMovedAsideNeverWrittenOver) {
  const std::wstring target = Utf8ToWide(path);
  const std::string partial = WideToUtf8(PartialRecordingPath(target));
  const std::string first = WideToUtf8(RecoveredPath(target, 1));
  const std::string second = WideToUtf8(RecoveredPath(target, 2));
  for (const std::string& stale : {first, second}) std::remove(stale.c_str());
  for (const std::string& expected : {first, second}) {
    SCOPED_TRACE(expected);
    std::ofstream(partial, std::ios::binary) << "killed at " << expected;
    ASSERT_EQ(Start(false), S_OK) << message;
    EXPECT_EQ(report.recovered, expected);
    EXPECT_EQ(ReadWholeFile(expected), "killed at " + expected);
    ASSERT_EQ(Stop(), S_OK);
  }
  ASSERT_EQ(Start(false), S_OK);
  EXPECT_EQ(report.recovered, "");
  ASSERT_EQ(Stop(), S_OK);
  for (const std::string& moved : {first, second}) std::remove(moved.c_str());
}

TEST_F(RecordingControlTest, FailedStartOrStopLeavesTheFileAtThePathUntouched) {
  struct Case {
    const char* call;
    bool fails_start;
  } const cases[] = {
      // Every other failed start is in EachCallOfAStartFailedInTurnIsUndone;
      // this one also checks that the failing call's code comes back.
      {"IMFSinkWriter::WriteSample", true},  // the first frame
      {"IMFSinkWriter::Finalize", false},
  };
  const std::string partial = WideToUtf8(PartialRecordingPath(Utf8ToWide(path)));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    std::ofstream(path, std::ios::binary) << "an earlier recording";
    winsim::FailCall(c.call, E_ACCESSDENIED);
    if (c.fails_start) {
      EXPECT_EQ(Start(false), E_ACCESSDENIED);
    } else {
      ASSERT_EQ(Start(false), S_OK);
      EXPECT_EQ(Stop(), E_ACCESSDENIED);
    }
    ExpectIdleAndUndone();
    EXPECT_EQ(ReadWholeFile(path), "an earlier recording");
    EXPECT_FALSE(std::ifstream(partial).good()) << "partial file left behind";
    winsim::ClearFailures();
  }
  // A finished recording replaces the file.
  winsim::SetSinkEncoding(true);
  ASSERT_EQ(Start(false), S_OK);
  ASSERT_EQ(Stop(), S_OK);
  EXPECT_NE(ReadWholeFile(path), "an earlier recording");
  EXPECT_EQ(std::get<std::int64_t>(Stat("bytes")),
            static_cast<std::int64_t>(ReadWholeFile(path).size()));
  EXPECT_FALSE(std::ifstream(partial).good());
}

TEST_F(RecordingControlTest, WorkerFailuresAreReportedOnlyWhenTheyHappen) {
  // Microphone-only recordings; the read failures are set before the start
  // (set-up never reads), the write failures after the first frame.
  struct Case {
    const char* name;
    bool microphone;
    const char* call;
    int failures;                  // -1: every call
    const char* video_error_prefix;  // null: no "videoError"
    const char* audio_error;        // null: no "audioError"
    bool had_audio;
  } const cases[] = {
      {"video writes fail", false, "IMFSinkWriter::WriteSample", -1,
       "IMFSinkWriter::WriteSample hr=0x80004005; frames dropped: ", nullptr, false},
      {"microphone lost", true, "IMFSourceReader::ReadSample", -1, nullptr,
       "IMFSourceReader::ReadSample hr=0x80004005", false},
      {"microphone hiccup", true, "IMFSourceReader::ReadSample", 1, nullptr, nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::ResetAudio();
    if (!c.microphone) audio_machine::RemoveEndpoint("microphone");
    if (c.microphone) {
      if (c.failures < 0)
        winsim::FailAlways(c.call, E_FAIL);
      else
        winsim::FailCall(c.call, E_FAIL, c.failures);
    }
    ASSERT_EQ(Start(false), S_OK) << code << message;
    if (!c.microphone) winsim::FailAlways(c.call, E_FAIL);
    Sleep(300);
    ASSERT_EQ(Stop(), S_OK) << code << message;
    winsim::ClearFailures();
    const auto video_error = stats.find(EncodableValue("videoError"));
    const auto audio_error = stats.find(EncodableValue("audioError"));
    if (c.video_error_prefix == nullptr) {
      EXPECT_EQ(video_error, stats.end());
    } else if (video_error == stats.end()) {
      ADD_FAILURE() << "no videoError";
    } else {
      EXPECT_EQ(std::get<std::string>(video_error->second).rfind(c.video_error_prefix, 0), 0u)
          << std::get<std::string>(video_error->second);
    }
    if (c.audio_error == nullptr) {
      EXPECT_EQ(audio_error, stats.end());
    } else if (audio_error == stats.end()) {
      ADD_FAILURE() << "no audioError";
    } else {
      EXPECT_EQ(std::get<std::string>(audio_error->second), c.audio_error);
    }
    EXPECT_EQ(std::get<bool>(Stat("hadAudio")), c.had_audio);
  }
}

TEST_F(RecordingControlTest, SilentMicrophoneNeitherHoldsTheStopNorCountsAsAudio) {
  winsim::MicrophoneSource mic = winsim::GetMicrophoneSource();
  mic.deliver = false;
  winsim::SetMicrophoneSource(mic);
  ASSERT_EQ(Start(false), S_OK);
  EXPECT_TRUE(report.audio);
  Sleep(100);
  ASSERT_EQ(Stop(), S_OK);
  EXPECT_EQ(std::get<bool>(Stat("hadAudio")), false);
  EXPECT_EQ(stats.count(EncodableValue("audioError")), 0u);
  ExpectIdleAndUndone();
}

TEST_F(RecordingControlTest, FailedFinalizeEndsTheRecordingWithoutStatistics) {
  ASSERT_EQ(Start(true), S_OK);
  winsim::FailCall("IMFSinkWriter::Finalize", E_FAIL);
  EXPECT_EQ(Stop(), E_FAIL);
  EXPECT_EQ(code, "stop_failed");
  EXPECT_EQ(message, "finalize hr=0x80004005");
  EXPECT_TRUE(stats.empty());
  ExpectIdleAndUndone();
}

TEST_F(RecordingControlTest, MicrophoneLookupFailureIsATextNotAFailure) {
  winsim::FailCall("IMMDeviceEnumerator::GetDefaultAudioEndpoint", E_ACCESSDENIED);
  ASSERT_EQ(Start(false), S_OK);
  EXPECT_FALSE(report.audio);
  EXPECT_EQ(report.mic_error, "mic lookup hr=0x80070005");
  EXPECT_FALSE(recorder.Status().mic_level.has_value());  // no microphone recorded
  ASSERT_EQ(Stop(), S_OK);
  EXPECT_EQ(std::get<bool>(Stat("hadAudio")), false);
  // Each start reports its own texts: a refused one none...
  winsim::FailCall("MFStartup", E_FAIL);
  EXPECT_EQ(Start(false), E_FAIL);
  EXPECT_EQ(report.mic_error, "");
  // ...and the next one nothing of the recording before it.
  ASSERT_EQ(Start(false), S_OK);
  EXPECT_EQ(report.mic_error, "");
  EXPECT_TRUE(report.audio);
}

// Makes the nth worker launch of a start fail as a system out of threads would.
int g_launchesBeforeFailure = 0;
std::thread FailingLauncher(std::function<void()> work) {
  if (g_launchesBeforeFailure-- == 0) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  }
  return std::thread(std::move(work));
}

TEST_F(RecordingControlTest, WorkerThatCannotBeLaunchedUndoesTheStart) {
  for (int launched : {0, 1}) {  // the video worker, then the audio worker
    SCOPED_TRACE(launched);
    g_launchesBeforeFailure = launched;
    recorder.SetWorkerLauncher(FailingLauncher);
    EXPECT_EQ(Start(true), E_FAIL);
    EXPECT_EQ(code, "start_failed");
    EXPECT_NE(message.find("worker launch"), std::string::npos) << message;
    EXPECT_NE(message.find("unavailable"), std::string::npos) << message;
    // The failed recording is gone, its launched workers joined.
    EXPECT_FALSE(recorder.recording());
    EXPECT_FALSE(recorder.Status().recording);
    ExpectIdleAndUndone();
    recorder.SetWorkerLauncher(nullptr);
    ASSERT_EQ(Start(true), S_OK);
    ASSERT_EQ(Stop(), S_OK);
  }
}

}  // namespace
