#include "mp4/mp4_encoder.h"

#include <mutex>

#include "mp4/mp4_audio_track.h"
#include "mp4/mp4_file_output.h"
#include "mp4/mp4_track.h"
#include "mp4/mp4_video_track.h"

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
  // The context's output is the file's own (custom I/O), closed after it.
  if (format_ != nullptr) avformat_free_context(format_);
  output_.reset();
}

int Mp4Encoder::Fail(int code, const std::string& what) {
  if (error_.empty()) error_ = what;
  return code;
}

int Mp4Encoder::Open(const std::string& path, const VideoFormat* video, const AudioFormat* audio,
                     std::unique_ptr<Mp4Encoder>* encoder, std::string* error) {
  return Open(path, video, audio, OutputOptions(), encoder, error);
}

int Mp4Encoder::Open(const std::string& path, const VideoFormat* video, const AudioFormat* audio,
                     const OutputOptions& options, std::unique_ptr<Mp4Encoder>* encoder,
                     std::string* error) {
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
  code = Mp4FileOutput::Open(path, options.max_bytes, &made->output_, &what);
  if (code < 0) return fail(code, what);
  made->format_->pb = made->output_->context();
  made->format_->flags |= AVFMT_FLAG_CUSTOM_IO;
  AVDictionary* muxer_options = nullptr;
  if (options.fragmented) {
    // Fragments start at video key frames; audio alone is cut every second.
    av_dict_set(&muxer_options, "movflags",
                video != nullptr ? "frag_keyframe+empty_moov+default_base_moof"
                                 : "empty_moov+default_base_moof",
                0);
    if (video == nullptr) av_dict_set(&muxer_options, "frag_duration", "1000000", 0);
    // Each fragment goes to disk as soon as the muxer lets go of it, and a
    // stream that falls silent (a microphone that stops) holds the other
    // back by half a second at most, not the muxer's default ten.
    made->format_->flush_packets = 1;
    made->format_->max_interleave_delta = 500'000;
  }
  code = avformat_write_header(made->format_, &muxer_options);
  av_dict_free(&muxer_options);
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
  code = output_->Close();
  if (code < 0) return Fail(code, Mp4ErrorText("close output", code));
  return 0;
}

}  // namespace mp4
