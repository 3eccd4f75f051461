// Records about two seconds of an animated simulated screen with the real
// worker thread and the real clock into an MP4, and checks the file with
// ffprobe and ffmpeg.
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "recorder/now_100ns.h"
#include "recorder/video/screen_capture.h"
#include "video_test_support.h"

using namespace morl::recorder;

namespace {

constexpr int kW = 320, kH = 240;
constexpr std::uint32_t kRed = 0xFF0000u, kBlue = 0x0000FFu;

std::string RunCommand(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return out;
  std::array<char, 4096> chunk;
  std::size_t n;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe.get())) > 0)
    out.append(chunk.data(), n);
  return out;
}

std::string Probe(const std::string& path, const std::string& entries) {
  return RunCommand("ffprobe -v error -count_frames -select_streams v " + entries +
                    " -of default=noprint_wrappers=1 '" + path + "'");
}

// "key=value" lines of ffprobe as a lookup.
std::string Field(const std::string& probe, const std::string& key) {
  std::istringstream lines(probe);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return {};
}

bool Near(std::uint32_t rgb, const BYTE* p) {
  const int want[3] = {int(rgb >> 16), int((rgb >> 8) & 0xFF), int(rgb & 0xFF)};
  for (int i = 0; i < 3; ++i) {
    if (std::abs(int(p[i]) - want[i]) > 48) return false;
  }
  return true;
}

class VideoRecordingTest : public VideoTest {
 protected:
  VideoRecordingTest() { encode_ = true; }
};

TEST_F(VideoRecordingTest, RecordsUprightH264OfTheDeclaredSize) {
  winsim::SetScreenSize(kW, kH);
  // Red above, blue below, and a white block moving along the boundary so
  // every frame differs.
  winsim::GetScreen().animate = [](winsim::Screen& screen, std::int64_t now) {
    const int block = static_cast<int>(now / 100'000) % (kW - 16);
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const bool in_block = x >= block && x < block + 16 && y >= kH / 2 - 8 && y < kH / 2 + 8;
        screen.pixels[y * kW + x] = in_block ? 0xFFFFFFu : y < kH / 2 ? kRed : kBlue;
      }
    }
  };
  winsim::GetCursor().x = kW - 40;
  winsim::GetCursor().y = kH / 2 - 16;
  OpenWriter(kW, kH);

  session_.timeline.start_time = Now100ns();
  session_.video_thread =
      std::thread([this] { RunScreenCapture(session_.VideoParts(), session_.watch); });
  std::this_thread::sleep_for(std::chrono::seconds(2));
  session_.timeline.stop.Request();
  session_.video_thread.join();
  ASSERT_EQ(session_.writer.sink_writer->Finalize(), S_OK);
  began_ = false;

  const std::int64_t frames = session_.video.frames_written;
  EXPECT_GE(frames, 20);  // about 30 at 15 fps; a loaded machine may drop some
  const std::string probe = Probe(path_,
                                  "-show_entries stream=codec_name,width,height,nb_read_frames "
                                  "-show_entries format=duration,nb_streams");
  EXPECT_EQ(Field(probe, "codec_name"), "h264") << probe;
  EXPECT_EQ(Field(probe, "width"), std::to_string(kW));
  EXPECT_EQ(Field(probe, "height"), std::to_string(kH));
  EXPECT_EQ(Field(probe, "nb_streams"), "1");
  EXPECT_EQ(Field(probe, "nb_read_frames"), std::to_string(frames));
  const double duration = std::atof(Field(probe, "duration").c_str());
  EXPECT_NEAR(duration, session_.video.end_time / 1e7, 0.1) << probe;

  // One decoded frame, top row first: red at the top, blue at the bottom.
  const std::string rgb =
      RunCommand("ffmpeg -v error -i '" + path_ + "' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
  ASSERT_EQ(rgb.size(), std::size_t{kW * kH * 3});
  const auto at = [&rgb](int x, int y) {
    return reinterpret_cast<const BYTE*>(rgb.data()) + (y * kW + x) * 3;
  };
  for (int x : {8, kW / 2, kW - 8}) {
    EXPECT_TRUE(Near(kRed, at(x, 8))) << "top at x " << x;
    EXPECT_TRUE(Near(kBlue, at(x, kH - 8))) << "bottom at x " << x;
  }
}

}  // namespace
