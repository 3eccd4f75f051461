// What a sink writer stream is, read from the media types given to AddStream
// (the encoded output the MP4 file carries) and SetInputMediaType (the
// uncompressed input, which is where the writer picks its encoder). The
// simulation encodes H.264 video from RGB32 and AAC audio from 16-bit PCM.
#pragma once

#include <mfapi.h>

#include "winsim.h"

namespace winsim {

// The largest frame the H.264 encoder takes, in pixels.
constexpr UINT32 kH264MaxWidth = 4096;
constexpr UINT32 kH264MaxHeight = 2304;

struct SinkStreamFormat {
  bool video = true;
  UINT32 width = 0, height = 0;      // video
  UINT32 fps_num = 15, fps_den = 1;  // video
  bool has_frame_rate = false;       // video
  bool has_interlace = false;        // video
  UINT32 key_frame_interval = 0;     // video: frames; 0 lets the encoder choose
  UINT32 rate = 0, channels = 0;     // audio
  UINT32 bits = 0;                   // audio
  UINT32 bitrate = 0;                // bits per second of the output; 0 when unset
  bool has_input = false;
  bool bottom_up = true;   // video input rows
  bool hardware = false;   // video: the GPU's encoder took the stream
  UINT32 block_align = 0;  // audio input bytes per frame
  SinkStream record;
};

// MF_E_INVALIDMEDIATYPE for a type the MP4 file cannot carry: neither
// H.264 nor AAC, or without the frame size, rate or channel count its
// sample description needs.
HRESULT ReadOutputType(IMFMediaType* type, SinkStreamFormat* format);
// MF_E_TOPO_CODEC_NOT_FOUND when no encoder takes that input for that
// output (the encoders' own limits included), and MF_E_INVALIDMEDIATYPE
// when the input is of the other major type or does not match the output.
// `parameters` (may be null) are the encoder's properties.
// `hardware_allowed`: the writer may use the GPU's encoder
// (MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS).
HRESULT ReadInputType(IMFMediaType* type, IMFAttributes* parameters, bool hardware_allowed,
                      SinkStreamFormat* format);

enum class H264Choice { kNone, kSoftware, kHardware };

}  // namespace winsim
