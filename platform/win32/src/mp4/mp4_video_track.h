// The H.264 track of an Mp4Encoder: 32-bit BGRX frames converted to 4:2:0
// and encoded with x264, each frame stamped with its own time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "mp4/mp4_encoder.h"
#include "mp4/mp4_track.h"

struct SwsContext;

namespace mp4 {

class Mp4VideoTrack {
 public:
  static int Create(AVFormatContext* format, const VideoFormat& video,
                    std::unique_ptr<Mp4VideoTrack>* track, std::string* error);
  ~Mp4VideoTrack();
  Mp4VideoTrack(const Mp4VideoTrack&) = delete;
  Mp4VideoTrack& operator=(const Mp4VideoTrack&) = delete;

  int Add(const std::uint8_t* pixels, std::size_t size, std::int64_t time, std::int64_t duration,
          std::string* error);
  // Sends the frames the encoder still holds to the file.
  int Flush(std::string* error);

 private:
  Mp4VideoTrack(AVFormatContext* format, const VideoFormat& video);
  int WriteReady(std::string* error);

  AVFormatContext* format_;
  VideoFormat video_;
  std::unique_ptr<AVCodecContext, CodecContextDeleter> codec_;
  std::unique_ptr<AVFrame, FrameDeleter> frame_;
  SwsContext* convert_ = nullptr;
  AVStream* stream_ = nullptr;
  std::int64_t last_time_ = INT64_MIN;
  // x264 gives back no durations; the muxer needs the last frame's to end
  // the track where that frame ends.
  std::map<std::int64_t, std::int64_t> durations_;
};

}  // namespace mp4
