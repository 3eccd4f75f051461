#include "media_file_check.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <unistd.h>

namespace {

std::string Run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

}  // namespace

std::vector<StreamInfo> ProbeStreams(const std::string& path) {
  const std::string out =
      Run("ffprobe -v error -show_entries "
          "stream=codec_type,codec_name,width,height,sample_rate,channels,duration "
          "-of default=noprint_wrappers=0 '" +
          path + "' 2>/dev/null");
  std::vector<StreamInfo> streams;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line == "[STREAM]") streams.emplace_back();
    if (streams.empty()) continue;
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    StreamInfo& s = streams.back();
    if (key == "codec_type") s.type = value;
    if (key == "codec_name") s.codec = value;
    if (value == "N/A") continue;
    if (key == "width") s.width = std::atoi(value.c_str());
    if (key == "height") s.height = std::atoi(value.c_str());
    if (key == "sample_rate") s.sample_rate = std::atoi(value.c_str());
    if (key == "channels") s.channels = std::atoi(value.c_str());
    if (key == "duration") s.duration = std::atof(value.c_str());
  }
  return streams;
}

std::vector<float> DecodeAudio(const std::string& path, int rate) {
  const std::string raw = Run("ffmpeg -v error -i '" + path + "' -map 0:a:0 -ac 1 -ar " +
                              std::to_string(rate) + " -f f32le - 2>/dev/null");
  std::vector<float> samples(raw.size() / sizeof(float));
  for (std::size_t i = 0; i < samples.size(); ++i) {
    std::memcpy(&samples[i], raw.data() + i * sizeof(float), sizeof(float));
  }
  return samples;
}

double ToneEnergy(const std::vector<float>& samples, int rate, double frequency) {
  const double pi = std::acos(-1.0);
  const double coefficient = 2.0 * std::cos(2.0 * pi * frequency / rate);
  double s1 = 0.0, s2 = 0.0;
  for (float x : samples) {
    const double s0 = x + coefficient * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
  return samples.empty() ? 0.0 : power / (static_cast<double>(samples.size()) * samples.size());
}

std::string TempMediaPath(const std::string& name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr ? dir : "/tmp") + "/morl_audio_" + std::to_string(getpid()) +
         "_" + name;
}
