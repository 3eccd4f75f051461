#include "mp4/mp4_video_track.h"

#include <algorithm>

extern "C" {
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace mp4 {
namespace {

// Sample times are 100-ns ticks; the track keeps them unrounded.
constexpr AVRational kTimeBase = {1, 10'000'000};

std::int64_t DefaultBitrate(const VideoFormat& video) {
  const std::int64_t bits = std::int64_t{video.width} * video.height * 15 / 8;
  return std::clamp<std::int64_t>(bits, 500'000, 20'000'000);
}

}  // namespace

Mp4VideoTrack::Mp4VideoTrack(AVFormatContext* format, const VideoFormat& video)
    : format_(format), video_(video) {}

Mp4VideoTrack::~Mp4VideoTrack() { sws_freeContext(convert_); }

int Mp4VideoTrack::Create(AVFormatContext* format, const VideoFormat& video,
                          std::unique_ptr<Mp4VideoTrack>* track, std::string* error) {
  if (video.width <= 0 || video.height <= 0 || video.width % 2 != 0 || video.height % 2 != 0 ||
      video.fps_num <= 0 || video.fps_den <= 0) {
    *error = "video: frame size must be even and positive";
    return AVERROR(EINVAL);
  }
  const AVCodec* h264 = avcodec_find_encoder_by_name("libx264");
  if (h264 == nullptr) {
    *error = "video: no H.264 encoder";
    return AVERROR_ENCODER_NOT_FOUND;
  }
  std::unique_ptr<Mp4VideoTrack> made(new Mp4VideoTrack(format, video));
  made->codec_.reset(avcodec_alloc_context3(h264));
  made->frame_.reset(av_frame_alloc());
  if (!made->codec_ || !made->frame_) return AVERROR(ENOMEM);
  AVCodecContext* codec = made->codec_.get();
  codec->width = video.width;
  codec->height = video.height;
  codec->pix_fmt = AV_PIX_FMT_YUV420P;
  codec->time_base = kTimeBase;
  codec->framerate = AVRational{video.fps_num, video.fps_den};
  codec->sample_aspect_ratio = AVRational{1, 1};
  codec->bit_rate = video.bitrate > 0 ? video.bitrate : DefaultBitrate(video);
  codec->gop_size = video.key_frame_interval > 0 ? video.key_frame_interval
                                                 : std::max(1, 2 * video.fps_num / video.fps_den);
  codec->max_b_frames = 0;  // frames leave in input order, so decode time = sample time
  codec->thread_count = 1;  // one core per recording; the preset keeps up
  AVDictionary* options = nullptr;
  av_dict_set(&options, "preset", "ultrafast", 0);
  const int code = OpenTrackEncoder(format, codec, &options, &made->stream_, error);
  av_dict_free(&options);
  if (code < 0) return code;

  made->convert_ =
      sws_getContext(video.width, video.height, AV_PIX_FMT_BGR0, video.width, video.height,
                     AV_PIX_FMT_YUV420P, SWS_POINT, nullptr, nullptr, nullptr);
  AVFrame* frame = made->frame_.get();
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = video.width;
  frame->height = video.height;
  if (made->convert_ == nullptr || av_frame_get_buffer(frame, 0) < 0) {
    *error = "video: cannot set up the colour conversion";
    return AVERROR(ENOMEM);
  }
  *track = std::move(made);
  return 0;
}

int Mp4VideoTrack::Add(const std::uint8_t* pixels, std::size_t size, std::int64_t time,
                       std::int64_t duration, std::string* error) {
  const int stride = video_.width * 4;
  if (pixels == nullptr || size < static_cast<std::size_t>(stride) * video_.height) {
    *error = "video: frame buffer smaller than the frame";
    return AVERROR(EINVAL);
  }
  int code = av_frame_make_writable(frame_.get());
  if (code < 0) return code;
  // A bottom-up frame is read from its last row upwards with a negative
  // stride, so the picture comes out upright without a copy.
  const std::uint8_t* source =
      video_.bottom_up ? pixels + std::size_t(stride) * (video_.height - 1) : pixels;
  const int source_stride = video_.bottom_up ? -stride : stride;
  sws_scale(convert_, &source, &source_stride, 0, video_.height, frame_->data, frame_->linesize);

  // The encoder and the file need rising times; a repeated or earlier time
  // is moved just past the previous frame rather than refused.
  const std::int64_t pts = std::max(time, last_time_ == INT64_MIN ? time : last_time_ + 1);
  last_time_ = pts;
  durations_[pts] = duration > 0 ? duration : 1;
  frame_->pts = pts;
  code = avcodec_send_frame(codec_.get(), frame_.get());
  if (code < 0) {
    *error = Mp4ErrorText("video encode", code);
    return code;
  }
  return WriteReady(error);
}

int Mp4VideoTrack::Flush(std::string* error) {
  const int code = avcodec_send_frame(codec_.get(), nullptr);
  if (code < 0 && code != AVERROR_EOF) {
    *error = Mp4ErrorText("video flush", code);
    return code;
  }
  return WriteReady(error);
}

int Mp4VideoTrack::WriteReady(std::string* error) {
  return WriteReadyPackets(
      format_, codec_.get(), stream_,
      [this](AVPacket* packet) {
        auto found = durations_.find(packet->pts);
        if (found == durations_.end()) return;
        packet->duration = found->second;
        durations_.erase(durations_.begin(), std::next(found));
      },
      error);
}

}  // namespace mp4
