// Checks of a finished recording through the ffprobe and ffmpeg tools: the
// streams it holds, its decoded audio, and the energy of one tone in it.
#pragma once

#include <string>
#include <vector>

struct StreamInfo {
  std::string type;   // "video" or "audio"
  std::string codec;  // "h264", "aac"
  int width = 0, height = 0;
  int sample_rate = 0, channels = 0;
  double duration = 0.0;  // seconds
};

// Empty when the file cannot be read as a media file.
std::vector<StreamInfo> ProbeStreams(const std::string& path);
// The first audio stream decoded to mono float at `rate`.
std::vector<float> DecodeAudio(const std::string& path, int rate);
// Goertzel power of `frequency` in `samples`, normalised by length.
double ToneEnergy(const std::vector<float>& samples, int rate, double frequency);
// A fresh file name in the test's temporary directory.
std::string TempMediaPath(const std::string& name);
