// What a sink writer stream is, read from the media types given to AddStream
// (the encoded output) and SetInputMediaType (the uncompressed input). The
// simulation encodes H.264 video from RGB32 and AAC audio from 16-bit PCM;
// anything else is refused with the HRESULT Media Foundation gives when it
// finds no encoder or converter for the pair.
#pragma once

#include <mfapi.h>

#include "winsim.h"

namespace winsim {

struct SinkStreamFormat {
  bool video = true;
  UINT32 width = 0, height = 0;      // video
  UINT32 fps_num = 15, fps_den = 1;  // video
  UINT32 rate = 0, channels = 0;     // audio
  UINT32 bitrate = 0;                // bits per second of the output
  bool has_input = false;
  bool bottom_up = true;   // video input rows
  UINT32 block_align = 0;  // audio input bytes per frame
  SinkStream record;
};

// MF_E_INVALIDMEDIATYPE for a type the MP4 sink cannot carry.
HRESULT ReadOutputType(IMFMediaType* type, SinkStreamFormat* format);
// MF_E_TOPO_CODEC_NOT_FOUND when no encoder takes that input, and
// MF_E_INVALIDMEDIATYPE when the input does not match the output.
HRESULT ReadInputType(IMFMediaType* type, SinkStreamFormat* format);

}  // namespace winsim
