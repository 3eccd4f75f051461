// An MP4 file with one H.264 video track and optionally one AAC audio track,
// encoded with FFmpeg's libraries. This is the encoder behind the simulated
// sink writer; it knows nothing of Windows types and is used from one thread.
//
// Times are 100-ns ticks. Video frames keep their own times, so irregular
// spacing survives into the file and the track ends at the last frame's end.
// Audio is placed by its sample times: a gap longer than a few milliseconds
// is filled with silence, so the track stays in step with the video.
//
// Every operation returns 0 or a negative errno-style code (FFmpeg's
// convention); error() then holds one line saying what failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct AVFormatContext;

namespace mp4 {

struct VideoFormat {
  int width = 0;  // even and positive
  int height = 0;
  int fps_num = 15;
  int fps_den = 1;
  std::int64_t bitrate = 0;  // bits per second; 0 picks one from the size
  // Input rows: true when the first row in memory is the bottom row.
  bool bottom_up = true;
  // Frames from one key frame to the next; 0: two seconds' worth.
  int key_frame_interval = 0;
};

struct AudioFormat {
  int sample_rate = 48000;  // 44100 or 48000
  int channels = 2;         // 1 or 2
  std::int64_t bitrate = 128000;
};

// How the file is laid out and where it may grow.
struct OutputOptions {
  // Fragmented MP4: an empty index first, then one fragment per key frame
  // (per second without video), each on disk as soon as it is complete, so
  // a file cut short still plays up to its last whole fragment.
  bool fragmented = false;
  // The room left on the file's volume; -1: unlimited. Past it every write
  // fails with ENOSPC.
  std::int64_t max_bytes = -1;
};

class Mp4VideoTrack;
class Mp4AudioTrack;
class Mp4FileOutput;

class Mp4Encoder {
 public:
  // Creates `path` (UTF-8) and writes the file header. `video` and `audio`
  // may each be null, but not both.
  static int Open(const std::string& path, const VideoFormat* video, const AudioFormat* audio,
                  std::unique_ptr<Mp4Encoder>* encoder, std::string* error);
  static int Open(const std::string& path, const VideoFormat* video, const AudioFormat* audio,
                  const OutputOptions& options, std::unique_ptr<Mp4Encoder>* encoder,
                  std::string* error);
  // Without Finish the file is left as it is: unfinished and unplayable.
  ~Mp4Encoder();
  Mp4Encoder(const Mp4Encoder&) = delete;
  Mp4Encoder& operator=(const Mp4Encoder&) = delete;

  // One frame of width x height 32-bit pixels (blue, green, red, unused),
  // rows `width` * 4 bytes apart. `size` must cover the whole frame.
  int AddVideoFrame(const std::uint8_t* pixels, std::size_t size, std::int64_t time,
                    std::int64_t duration);
  // `frames` frames of interleaved signed 16-bit samples starting at `time`.
  int AddAudio(const std::int16_t* samples, std::size_t frames, std::int64_t time);
  // Drains both encoders, writes the index and closes the file.
  int Finish();

  const std::string& error() const { return error_; }

 private:
  Mp4Encoder();
  int Fail(int code, const std::string& what);

  AVFormatContext* format_ = nullptr;
  std::unique_ptr<Mp4FileOutput> output_;
  std::unique_ptr<Mp4VideoTrack> video_;
  std::unique_ptr<Mp4AudioTrack> audio_;
  bool finished_ = false;
  std::string error_;
};

// "what: FFmpeg's text for code".
std::string Mp4ErrorText(const char* what, int code);

}  // namespace mp4
