// The AAC track of an Mp4Encoder: interleaved 16-bit PCM gathered into the
// encoder's 1024-sample frames. The track keeps a position in samples; a
// block that starts well after that position is preceded by silence, one
// that starts before it simply follows on (the device ran fast).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "mp4/mp4_encoder.h"
#include "mp4/mp4_track.h"

namespace mp4 {

class Mp4AudioTrack {
 public:
  static int Create(AVFormatContext* format, const AudioFormat& audio,
                    std::unique_ptr<Mp4AudioTrack>* track, std::string* error);
  Mp4AudioTrack(const Mp4AudioTrack&) = delete;
  Mp4AudioTrack& operator=(const Mp4AudioTrack&) = delete;

  int Add(const std::int16_t* samples, std::size_t frames, std::int64_t time, std::string* error);
  // Encodes the partly filled last frame and what the encoder still holds.
  int Flush(std::string* error);

 private:
  Mp4AudioTrack(AVFormatContext* format, const AudioFormat& audio);
  // Appends `frames` frames (silence when `samples` is null), encoding each
  // frame as it fills.
  int Append(const std::int16_t* samples, std::int64_t frames, std::string* error);
  int SendFrame(std::string* error);

  AVFormatContext* format_;
  AudioFormat audio_;
  std::unique_ptr<AVCodecContext, CodecContextDeleter> codec_;
  std::unique_ptr<AVFrame, FrameDeleter> frame_;
  AVStream* stream_ = nullptr;
  std::int64_t position_ = 0;  // samples appended so far, the track starting at 0
  int filled_ = 0;             // of those, the ones in frame_ not yet sent
};

}  // namespace mp4
