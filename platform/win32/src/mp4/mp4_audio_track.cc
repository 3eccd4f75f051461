#include "mp4/mp4_audio_track.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

namespace mp4 {
namespace {

// A block may start this much later than the samples before it end without
// silence being put in between: device clocks jitter by a few milliseconds.
constexpr std::int64_t kGapToleranceMs = 20;

}  // namespace

Mp4AudioTrack::Mp4AudioTrack(AVFormatContext* format, const AudioFormat& audio)
    : format_(format), audio_(audio) {}

int Mp4AudioTrack::Create(AVFormatContext* format, const AudioFormat& audio,
                          std::unique_ptr<Mp4AudioTrack>* track, std::string* error) {
  if ((audio.sample_rate != 44100 && audio.sample_rate != 48000) ||
      (audio.channels != 1 && audio.channels != 2)) {
    *error = "audio: AAC takes 44100 or 48000 Hz, mono or stereo";
    return AVERROR(EINVAL);
  }
  const AVCodec* aac = avcodec_find_encoder_by_name("aac");
  if (aac == nullptr) {
    *error = "audio: no AAC encoder";
    return AVERROR_ENCODER_NOT_FOUND;
  }
  std::unique_ptr<Mp4AudioTrack> made(new Mp4AudioTrack(format, audio));
  made->codec_.reset(avcodec_alloc_context3(aac));
  made->frame_.reset(av_frame_alloc());
  if (!made->codec_ || !made->frame_) return AVERROR(ENOMEM);
  AVCodecContext* codec = made->codec_.get();
  codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
  codec->sample_rate = audio.sample_rate;
  av_channel_layout_default(&codec->ch_layout, audio.channels);
  codec->bit_rate = audio.bitrate;
  codec->time_base = AVRational{1, audio.sample_rate};
  int code = OpenTrackEncoder(format, codec, nullptr, &made->stream_, error);
  if (code < 0) return code;

  AVFrame* frame = made->frame_.get();
  frame->format = AV_SAMPLE_FMT_FLTP;
  frame->sample_rate = audio.sample_rate;
  frame->nb_samples = codec->frame_size;
  code = av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout);
  if (code < 0 || av_frame_get_buffer(frame, 0) < 0) {
    *error = "audio: cannot allocate a frame";
    return AVERROR(ENOMEM);
  }
  *track = std::move(made);
  return 0;
}

int Mp4AudioTrack::Add(const std::int16_t* samples, std::size_t frames, std::int64_t time,
                       std::string* error) {
  const std::int64_t at =
      av_rescale(std::max<std::int64_t>(time, 0), audio_.sample_rate, 10'000'000);
  // The track starts at 0, like the video's clock: audio that starts later
  // begins with silence.
  const std::int64_t gap = at - position_;
  if (gap > audio_.sample_rate * kGapToleranceMs / 1000) {
    const int code = Append(nullptr, gap, error);
    if (code < 0) return code;
  }
  return Append(samples, static_cast<std::int64_t>(frames), error);
}

int Mp4AudioTrack::Append(const std::int16_t* samples, std::int64_t frames, std::string* error) {
  const int channels = audio_.channels;
  const int frame_size = codec_->frame_size;
  while (frames > 0) {
    if (filled_ == 0) {
      const int code = av_frame_make_writable(frame_.get());
      if (code < 0) return code;
    }
    const int take = static_cast<int>(std::min<std::int64_t>(frames, frame_size - filled_));
    for (int c = 0; c < channels; ++c) {
      float* plane = reinterpret_cast<float*>(frame_->data[c]) + filled_;
      for (int i = 0; i < take; ++i) {
        plane[i] = samples == nullptr ? 0.0f : samples[i * channels + c] / 32768.0f;
      }
    }
    if (samples != nullptr) samples += std::size_t(take) * channels;
    filled_ += take;
    position_ += take;
    frames -= take;
    if (filled_ == frame_size) {
      const int code = SendFrame(error);
      if (code < 0) return code;
    }
  }
  return 0;
}

int Mp4AudioTrack::SendFrame(std::string* error) {
  frame_->nb_samples = filled_;
  frame_->pts = position_ - filled_;
  filled_ = 0;
  const int code = avcodec_send_frame(codec_.get(), frame_.get());
  frame_->nb_samples = codec_->frame_size;
  if (code < 0) {
    *error = Mp4ErrorText("audio encode", code);
    return code;
  }
  return WriteReadyPackets(
      format_, codec_.get(), stream_, [](AVPacket*) {}, error);
}

int Mp4AudioTrack::Flush(std::string* error) {
  if (filled_ > 0) {
    const int code = SendFrame(error);
    if (code < 0) return code;
  }
  const int code = avcodec_send_frame(codec_.get(), nullptr);
  if (code < 0 && code != AVERROR_EOF) {
    *error = Mp4ErrorText("audio flush", code);
    return code;
  }
  return WriteReadyPackets(
      format_, codec_.get(), stream_, [](AVPacket*) {}, error);
}

}  // namespace mp4
