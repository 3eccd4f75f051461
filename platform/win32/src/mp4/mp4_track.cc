#include "mp4/mp4_track.h"

#include <memory>

#include "mp4/mp4_encoder.h"

namespace mp4 {

int OpenTrackEncoder(AVFormatContext* format, AVCodecContext* codec, AVDictionary** options,
                     AVStream** stream, std::string* error) {
  if (format->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int code = avcodec_open2(codec, codec->codec, options);
  if (code < 0) {
    *error = Mp4ErrorText("open encoder", code);
    return code;
  }
  AVStream* added = avformat_new_stream(format, nullptr);
  if (added == nullptr) {
    *error = "add stream: out of memory";
    return AVERROR(ENOMEM);
  }
  code = avcodec_parameters_from_context(added->codecpar, codec);
  if (code < 0) {
    *error = Mp4ErrorText("stream parameters", code);
    return code;
  }
  added->time_base = codec->time_base;
  *stream = added;
  return 0;
}

int WriteReadyPackets(AVFormatContext* format, AVCodecContext* codec, AVStream* stream,
                      const std::function<void(AVPacket*)>& stamp, std::string* error) {
  std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
  if (!packet) return AVERROR(ENOMEM);
  for (;;) {
    int code = avcodec_receive_packet(codec, packet.get());
    if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return 0;
    if (code < 0) {
      *error = Mp4ErrorText("encode", code);
      return code;
    }
    stamp(packet.get());
    av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
    packet->stream_index = stream->index;
    code = av_interleaved_write_frame(format, packet.get());
    if (code < 0) {
      *error = Mp4ErrorText("write packet", code);
      return code;
    }
  }
}

}  // namespace mp4
