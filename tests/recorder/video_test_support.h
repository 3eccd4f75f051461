// Shared set-up of the video tests: a fresh simulated machine, Media
// Foundation started, a sink writer on a temporary file with the H.264
// stream declared, and a check that nothing is left alive afterwards.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <winsim.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "recorder/recording_session.h"
#include "win32_support/utf_conversion.h"
#include "recorder/video/video_stream.h"
#include "tests/support/machine_test.h"

using morl::recorder::AddVideoStream;
using morl::recorder::RecordingSession;

class VideoTest : public machine_test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    winsim::SetSinkEncoding(encode_);
    winsim::GetScreen().animate = nullptr;  // still pictures unless a test animates
    // The sink writer is created on this thread, which needs COM for it.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = ::testing::TempDir() + "video_" + info->test_suite_name() + "_" + info->name() + ".mp4";
  }

  void TearDown() override {
    winsim::ClearFailures();
    winsim::SetSleepHook(nullptr);
    session_.timeline.stop.Close();
    if (session_.writer.sink_writer && began_) session_.writer.sink_writer->Finalize();
    session_.writer.sink_writer.Reset();
    MFShutdown();
    CoUninitialize();
    std::remove(path_.c_str());
  }

  // Creates the session's sink writer (throttling off, as a recording does),
  // declares a width x height video stream and begins writing.
  void OpenWriter(std::int32_t width, std::int32_t height) {
    IMFAttributes* attributes = nullptr;
    ASSERT_EQ(MFCreateAttributes(&attributes, 1), S_OK);
    attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, 1);
    const HRESULT created = MFCreateSinkWriterFromURL(morl::Utf8ToWide(path_).c_str(), nullptr,
                                                      attributes, session_.writer.sink_writer.Put());
    attributes->Release();
    ASSERT_EQ(created, S_OK);
    ASSERT_EQ(AddVideoStream(session_.writer.sink_writer.Get(), width, height,
                             &session_.writer.video_stream),
              S_OK);
    ASSERT_EQ(session_.writer.sink_writer->BeginWriting(), S_OK);
    began_ = true;
    ASSERT_EQ(session_.timeline.stop.Open(), S_OK);
    session_.video.width = width;
    session_.video.height = height;
  }

  bool encode_ = false;
  bool began_ = false;
  std::string path_;
  RecordingSession session_;
};

// The pixel at screen position (x, y) of a bottom-up BGRX frame, as 0xRRGGBB.
inline std::uint32_t FramePixel(const BYTE* frame, std::int32_t width, std::int32_t height,
                                std::int32_t x, std::int32_t y) {
  const BYTE* p = frame + (static_cast<std::size_t>(height - 1 - y) * width + x) * 4;
  return (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}
