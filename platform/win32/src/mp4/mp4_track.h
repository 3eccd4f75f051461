// What the video and audio tracks of Mp4Encoder share: opening an encoder
// for a new stream of the file, and moving its finished packets into the file.
#pragma once

#include <functional>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace mp4 {

struct CodecContextDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// Opens `codec` (configured by the caller) and adds a stream to `format`
// that carries its output. MP4 wants the codec headers out of band.
int OpenTrackEncoder(AVFormatContext* format, AVCodecContext* codec, AVDictionary** options,
                     AVStream** stream, std::string* error);

// Takes every packet `codec` has ready, lets `stamp` fill in what the encoder
// leaves out, and writes it to `stream` in the stream's time base.
int WriteReadyPackets(AVFormatContext* format, AVCodecContext* codec, AVStream* stream,
                      const std::function<void(AVPacket*)>& stamp, std::string* error);

}  // namespace mp4
