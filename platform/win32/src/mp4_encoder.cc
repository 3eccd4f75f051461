#include "mp4_encoder.h"

#include <mutex>

#include "mp4_audio_track.h"
#include "mp4_track.h"
#include "mp4_video_track.h"

extern "C" {
#include <libavutil/log.h>
}

namespace mp4 {

std::string Mp4ErrorText(const char* what, int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof(text));
  return std::string(what) + ": " + text;
}

Mp4Encoder::Mp4Encoder() = default;

Mp4Encoder::~Mp4Encoder() {
  video_.reset();
  audio_.reset();
  if (format_ != nullptr) {
    avio_closep(&format_->pb);
    avformat_free_context(format_);
  }
}

int Mp4Encoder::Fail(int code, const std::string& what) {
  if (error_.empty()) error_ = what;
  return code;
}

int Mp4Encoder::Open(const std::string& path, const VideoFormat* video, const AudioFormat* audio,
                     std::unique_ptr<Mp4Encoder>* encoder, std::string* error) {
  // x264 and the muxer talk on stderr at info level; only errors are wanted.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });

  std::unique_ptr<Mp4Encoder> made(new Mp4Encoder());
  auto fail = [&](int code, const std::string& what) {
    *error = what;
    return code;
  };
  if (video == nullptr && audio == nullptr) return fail(AVERROR(EINVAL), "no stream to write");
  int code = avformat_alloc_output_context2(&made->format_, nullptr, "mp4", path.c_str());
  if (code < 0) return fail(code, Mp4ErrorText("mp4 muxer", code));
  std::string what;
  if (video != nullptr) {
    code = Mp4VideoTrack::Create(made->format_, *video, &made->video_, &what);
    if (code < 0) return fail(code, what);
  }
  if (audio != nullptr) {
    code = Mp4AudioTrack::Create(made->format_, *audio, &made->audio_, &what);
    if (code < 0) return fail(code, what);
  }
  code = avio_open(&made->format_->pb, path.c_str(), AVIO_FLAG_WRITE);
  if (code < 0) return fail(code, Mp4ErrorText("open output", code));
  code = avformat_write_header(made->format_, nullptr);
  if (code < 0) return fail(code, Mp4ErrorText("write header", code));
  *encoder = std::move(made);
  return 0;
}

int Mp4Encoder::AddVideoFrame(const std::uint8_t* pixels, std::size_t size, std::int64_t time,
                              std::int64_t duration) {
  if (!video_ || finished_) return Fail(AVERROR(EINVAL), "no video track open");
  std::string what;
  const int code = video_->Add(pixels, size, time, duration, &what);
  return code < 0 ? Fail(code, what) : 0;
}

int Mp4Encoder::AddAudio(const std::int16_t* samples, std::size_t frames, std::int64_t time) {
  if (!audio_ || finished_) return Fail(AVERROR(EINVAL), "no audio track open");
  std::string what;
  const int code = audio_->Add(samples, frames, time, &what);
  return code < 0 ? Fail(code, what) : 0;
}

int Mp4Encoder::Finish() {
  if (finished_) return Fail(AVERROR(EINVAL), "already finished");
  finished_ = true;
  std::string what;
  int code = video_ ? video_->Flush(&what) : 0;
  if (code >= 0 && audio_) code = audio_->Flush(&what);
  if (code < 0) return Fail(code, what);
  code = av_write_trailer(format_);
  if (code < 0) return Fail(code, Mp4ErrorText("write index", code));
  // Closing flushes the last buffered bytes; a full disk shows up here or
  // in the stream's sticky error.
  avio_flush(format_->pb);
  code = format_->pb->error;
  const int closed = avio_closep(&format_->pb);
  if (code >= 0) code = closed;
  if (code < 0) return Fail(code, Mp4ErrorText("close output", code));
  return 0;
}

}  // namespace mp4
