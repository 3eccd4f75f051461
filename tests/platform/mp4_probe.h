// Test helpers that look at a written MP4 with the ffprobe and ffmpeg tools.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace mp4test {

struct ProbedStream {
  std::string codec;
  int width = 0, height = 0;
  std::int64_t frames = 0;  // counted by decoding
  double start = 0;         // seconds: the first sample's time
  double duration = 0;      // seconds from `start` to the last sample's end
  int sample_rate = 0, channels = 0;
};

inline std::string RunCommand(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string out;
  if (!pipe) return out;
  char chunk[4096];
  size_t got;
  while ((got = fread(chunk, 1, sizeof(chunk), pipe.get())) > 0) out.append(chunk, got);
  return out;
}

// The file's streams in order; empty when ffprobe cannot read it.
inline std::vector<ProbedStream> ProbeMp4(const std::string& path) {
  const std::string out = RunCommand(
      "ffprobe -v error -count_frames -show_entries "
      "stream=codec_name,width,height,nb_read_frames,start_time,duration,sample_rate,channels -of "
      "json '" +
      path + "' 2>/dev/null");
  std::vector<ProbedStream> streams;
  const auto json = nlohmann::json::parse(out, nullptr, false);
  if (json.is_discarded() || !json.contains("streams")) return streams;
  for (const auto& s : json["streams"]) {
    ProbedStream p;
    p.codec = s.value("codec_name", "");
    p.width = s.value("width", 0);
    p.height = s.value("height", 0);
    p.channels = s.value("channels", 0);
    p.frames = std::stoll(s.value("nb_read_frames", "0"));
    p.start = std::stod(s.value("start_time", "0"));
    p.duration = std::stod(s.value("duration", "0"));
    p.sample_rate = std::stoi(s.value("sample_rate", "0"));
    streams.push_back(p);
  }
  return streams;
}

// The first decoded video frame as rows of RGB bytes, top row first.
inline std::vector<std::uint8_t> FirstFrameRgb(const std::string& path) {
  const std::string out = RunCommand("ffmpeg -v error -i '" + path +
                                     "' -frames:v 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
  return std::vector<std::uint8_t>(out.begin(), out.end());
}

inline std::string TempPath(const std::string& name) { return ::testing::TempDir() + name; }

}  // namespace mp4test
