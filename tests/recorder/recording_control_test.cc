// Starting and stopping a recording: every refusal and failure code, the
// undo after each failure, and what a stop reports.
#include <gtest/gtest.h>

#include <stdexcept>
#include <system_error>

#include "media_file_check.h"
#include "recorder/recording_control.h"
#include "recorder/recording_session.h"
#include "recorder/utf_conversion.h"
#include "winsim.h"
#include "winsim_audio.h"

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

struct RecordingControlTest : testing::Test {
  std::string path = TempMediaPath("control.mp4");
  std::string code, message;
  flutter::ValueMap stats;

  void SetUp() override {
    winsim::ResetMachine();
    winsim::ResetAudio();
    winsim::SetSinkEncoding(false);
    winsim::SetScreenSize(320, 240);
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), 0);
  }
  void TearDown() override {
    if (TheRecordingSession().recording) Stop();
    SetWorkerLauncher(nullptr);
    winsim::ClearFailures();
    CoUninitialize();
    EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
    std::remove(path.c_str());
  }
  HRESULT Start(bool systemAudio) {
    code.clear();
    message.clear();
    return StartRecording(Utf8ToWide(path), systemAudio, code, message);
  }
  HRESULT Stop() {
    code.clear();
    message.clear();
    stats.clear();
    return StopRecording(code, message, stats);
  }
  const EncodableValue& Stat(const char* key) { return stats.at(EncodableValue(key)); }
  void ExpectIdleAndUndone() {
    EXPECT_FALSE(TheRecordingSession().recording);
    EXPECT_FALSE(TheRecordingSession().mediaStarted);
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
      {"IMFSinkWriter::AddStream", E_FAIL, "encoder_missing", "H264 hr=0x80004005"},
      {"IMFSinkWriter::SetInputMediaType", E_INVALIDARG, "encoder_missing", "H264 hr=0x80070057"},
      {"IMFSinkWriter::BeginWriting", E_UNEXPECTED, "sink_failed", "begin hr=0x8000ffff"},
  };
  for (const Case& c : cases) {
    for (bool systemAudio : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.call << " systemAudio " << systemAudio);
      winsim::FailCall(c.call, c.hr);
      EXPECT_EQ(Start(systemAudio), c.hr);
      EXPECT_EQ(code, c.code);
      EXPECT_EQ(message, c.message);
      ExpectIdleAndUndone();
      winsim::ClearFailures();
      // The recorder is usable again at once.
      ASSERT_EQ(Start(systemAudio), S_OK) << code << " " << message;
      ASSERT_EQ(Stop(), S_OK);
    }
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
  EXPECT_TRUE(TheRecordingSession().recording);
  EXPECT_FALSE(TheRecordingSession().systemAudio);  // the first recording's
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
  std::int64_t videoSamples = 0;
  const std::vector<winsim::SinkWriterRecord> writers = winsim::SinkWriters();
  for (const auto& sample : writers.back().samples) {
    videoSamples += sample.stream == TheRecordingSession().videoStreamIndex;
  }
  EXPECT_EQ(frames, videoSamples);
  EXPECT_EQ(std::get<std::int64_t>(Stat("durationMs")), TheRecordingSession().videoEndTime / 10000);
  EXPECT_EQ(std::get<bool>(Stat("hadAudio")), TheRecordingSession().audioEnabled);
}

TEST_F(RecordingControlTest, StopWithoutFramesAndWithoutReadableFile) {
  winsim::FailAlways("CreateDIBSection", E_FAIL);
  ASSERT_EQ(Start(false), S_OK);
  Sleep(50);
  ASSERT_EQ(Stop(), S_OK);
  EXPECT_EQ(std::get<std::int64_t>(Stat("frames")), std::int64_t{0});
  EXPECT_EQ(std::get<std::int64_t>(Stat("durationMs")), std::int64_t{0});
  EXPECT_EQ(std::get<std::int64_t>(Stat("bytes")), std::int64_t{0});  // nothing encoded, no file
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
  RecordingSession& session = TheRecordingSession();
  EXPECT_FALSE(session.audioEnabled);
  EXPECT_EQ(session.micError, "mic lookup hr=0x80070005");
  ASSERT_EQ(Stop(), S_OK);
  EXPECT_EQ(std::get<bool>(Stat("hadAudio")), false);
  // Texts stay after the stop, and also through a refused start...
  EXPECT_EQ(session.micError, "mic lookup hr=0x80070005");
  winsim::FailCall("MFStartup", E_FAIL);
  EXPECT_EQ(Start(false), E_FAIL);
  EXPECT_EQ(session.micError, "mic lookup hr=0x80070005");
  // ...until the next start clears them.
  ASSERT_EQ(Start(false), S_OK);
  EXPECT_EQ(session.micError, "");
  EXPECT_TRUE(session.audioEnabled);
}

// Makes the nth worker launch of a start fail as a system out of threads would.
int g_launchesBeforeFailure = 0;
std::thread FailingLauncher(void (*worker)(RecordingSession&), RecordingSession& session) {
  if (g_launchesBeforeFailure-- == 0) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  }
  return std::thread(worker, std::ref(session));
}

TEST_F(RecordingControlTest, WorkerThatCannotBeLaunchedUndoesTheStart) {
  for (int launched : {0, 1}) {  // the video worker, then the audio worker
    SCOPED_TRACE(launched);
    g_launchesBeforeFailure = launched;
    SetWorkerLauncher(FailingLauncher);
    EXPECT_EQ(Start(true), E_FAIL);
    EXPECT_EQ(code, "start_failed");
    EXPECT_NE(message.find("worker launch"), std::string::npos) << message;
    EXPECT_NE(message.find("unavailable"), std::string::npos) << message;
    EXPECT_FALSE(TheRecordingSession().videoThread.joinable());
    EXPECT_FALSE(TheRecordingSession().audioThread.joinable());
    ExpectIdleAndUndone();
    SetWorkerLauncher(nullptr);
    ASSERT_EQ(Start(true), S_OK);
    ASSERT_EQ(Stop(), S_OK);
  }
}

}  // namespace
