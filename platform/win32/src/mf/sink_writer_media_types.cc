#include "mf/sink_writer_media_types.h"

#include <codecapi.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "mf/sink_writer_record.h"
#include "winsim_gpu.h"

namespace winsim {
namespace {

UINT32 GetOr(IMFMediaType* type, REFGUID key, UINT32 fallback) {
  UINT32 value = 0;
  return SUCCEEDED(type->GetUINT32(key, &value)) ? value : fallback;
}

bool GetPair(IMFMediaType* type, REFGUID key, UINT32* high, UINT32* low) {
  UINT64 packed = 0;
  if (FAILED(type->GetUINT64(key, &packed))) return false;
  Unpack2UINT32AsUINT64(packed, high, low);
  return true;
}

// What every H.264 encoder needs of the output type: a bit rate above zero,
// a frame rate and an interlace mode, and both sides of the frame even, as
// it encodes 4:2:0.
bool H264OutputComplete(const SinkStreamFormat& out) {
  return out.bitrate > 0 && out.has_frame_rate && out.has_interlace && out.width % 2 == 0 &&
         out.height % 2 == 0;
}

// The software encoder takes up to 4096 x 2304 (or the smaller size the
// machine sets); the GPU's, when the writer may use hardware transforms and
// the GPU has one, up to the GPU's largest frame. A frame too large for the
// GPU goes to the software encoder, as Windows falls back to software
// transforms when no hardware transform accepts the type.
H264Choice ChooseH264Encoder(const SinkStreamFormat& out, bool hardware_allowed) {
  if (!H264OutputComplete(out)) return H264Choice::kNone;
  if (hardware_allowed) {
    const std::optional<Gpu> gpu = MachineGpu();
    const bool has_h264 =
        gpu && std::find(gpu->encoders.begin(), gpu->encoders.end(), "h264") != gpu->encoders.end();
    if (has_h264 && out.width <= static_cast<UINT32>(gpu->max_width) &&
        out.height <= static_cast<UINT32>(gpu->max_height)) {
      return H264Choice::kHardware;
    }
  }
  std::uint32_t max_width = 0, max_height = 0;
  EncoderMaxFrameSize(&max_width, &max_height);
  return out.width <= max_width && out.height <= max_height ? H264Choice::kSoftware
                                                            : H264Choice::kNone;
}

// The AAC encoder: 44.1 or 48 kHz, mono or stereo, 16 bits, and one of its
// four bit rates (12000, 16000, 20000 or 24000 bytes per second).
bool AacEncoderTakes(const SinkStreamFormat& out) {
  const UINT32 bytes_per_second = out.bitrate / 8;
  return (out.rate == 44100 || out.rate == 48000) && (out.channels == 1 || out.channels == 2) &&
         out.bits == 16 &&
         (bytes_per_second == 12000 || bytes_per_second == 16000 || bytes_per_second == 20000 ||
          bytes_per_second == 24000);
}

}  // namespace

HRESULT ReadOutputType(IMFMediaType* type, SinkStreamFormat* format) {
  GUID major{}, subtype{};
  if (FAILED(type->GetGUID(MF_MT_MAJOR_TYPE, &major)) ||
      FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype))) {
    return MF_E_INVALIDMEDIATYPE;
  }
  SinkStreamFormat read;
  read.record.major_type = major;
  read.record.subtype = subtype;
  if (major == MFMediaType_Video) {
    if (subtype != MFVideoFormat_H264) return MF_E_INVALIDMEDIATYPE;
    if (!GetPair(type, MF_MT_FRAME_SIZE, &read.width, &read.height) || read.width == 0 ||
        read.height == 0) {
      return MF_E_INVALIDMEDIATYPE;
    }
    UINT32 num = 0, den = 0;
    read.has_frame_rate = GetPair(type, MF_MT_FRAME_RATE, &num, &den) && num > 0 && den > 0;
    if (read.has_frame_rate && num <= 1000) {
      read.fps_num = num;
      read.fps_den = den;
    }
    UINT32 interlace = 0;
    read.has_interlace = SUCCEEDED(type->GetUINT32(MF_MT_INTERLACE_MODE, &interlace));
    read.key_frame_interval = GetOr(type, MF_MT_MAX_KEYFRAME_SPACING, 0);
    read.bitrate = GetOr(type, MF_MT_AVG_BITRATE, 0);
    read.record.key_frame_interval = read.key_frame_interval;
    if (read.has_frame_rate) {
      read.record.fps_num = num;
      read.record.fps_den = den;
    }
    read.record.width = read.width;
    read.record.height = read.height;
  } else if (major == MFMediaType_Audio) {
    if (subtype != MFAudioFormat_AAC) return MF_E_INVALIDMEDIATYPE;
    read.video = false;
    read.rate = GetOr(type, MF_MT_AUDIO_SAMPLES_PER_SECOND, 0);
    read.channels = GetOr(type, MF_MT_AUDIO_NUM_CHANNELS, 0);
    if (read.rate == 0 || read.channels == 0) return MF_E_INVALIDMEDIATYPE;
    read.bits = GetOr(type, MF_MT_AUDIO_BITS_PER_SAMPLE, 0);
    // Unset, the AAC encoder's bit rate is 12000 bytes (96 kbit) per second.
    read.bitrate = GetOr(type, MF_MT_AUDIO_AVG_BYTES_PER_SECOND, 12000) * 8;
    read.record.rate = read.rate;
    read.record.channels = read.channels;
    read.record.bits = read.bits;
  } else {
    return MF_E_INVALIDMEDIATYPE;
  }
  read.record.bitrate = read.bitrate;
  *format = read;
  return S_OK;
}

HRESULT ReadInputType(IMFMediaType* type, IMFAttributes* parameters, bool hardware_allowed,
                      SinkStreamFormat* format) {
  GUID major{}, subtype{};
  if (FAILED(type->GetGUID(MF_MT_MAJOR_TYPE, &major)) ||
      FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype))) {
    return MF_E_INVALIDMEDIATYPE;
  }
  if (major != (format->video ? MFMediaType_Video : MFMediaType_Audio)) {
    return MF_E_INVALIDMEDIATYPE;
  }
  if (format->video) {
    if (subtype != MFVideoFormat_RGB32) return MF_E_TOPO_CODEC_NOT_FOUND;
    UINT32 width = 0, height = 0;
    if (!GetPair(type, MF_MT_FRAME_SIZE, &width, &height) || width != format->width ||
        height != format->height) {
      return MF_E_INVALIDMEDIATYPE;
    }
    // Without a stride attribute an RGB type is bottom-up, like a GDI
    // bitmap; the attribute's sign gives the row order (negative:
    // bottom-up), and rows must be packed.
    bool bottom_up = true;
    UINT32 stride_bits = 0;
    if (SUCCEEDED(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride_bits))) {
      const INT32 stride = static_cast<INT32>(stride_bits);
      if (static_cast<std::int64_t>(std::llabs(stride)) != std::int64_t{width} * 4) {
        return MF_E_INVALIDMEDIATYPE;
      }
      bottom_up = stride < 0;
      format->record.default_stride = stride;
    }
    const H264Choice choice = ChooseH264Encoder(*format, hardware_allowed);
    if (choice == H264Choice::kNone) return MF_E_TOPO_CODEC_NOT_FOUND;
    format->hardware = choice == H264Choice::kHardware;
    format->record.hardware_encoder = format->hardware;
    UINT32 gop = 0;
    if (parameters != nullptr && SUCCEEDED(parameters->GetUINT32(CODECAPI_AVEncMPVGOPSize, &gop)) &&
        gop > 0) {
      format->key_frame_interval = gop;
      format->record.key_frame_interval = gop;
    }
    format->bottom_up = bottom_up;
    format->record.input_subtype = subtype;
  } else {
    if (subtype != MFAudioFormat_PCM) return MF_E_TOPO_CODEC_NOT_FOUND;
    const UINT32 rate = GetOr(type, MF_MT_AUDIO_SAMPLES_PER_SECOND, 0);
    const UINT32 channels = GetOr(type, MF_MT_AUDIO_NUM_CHANNELS, 0);
    const UINT32 bits = GetOr(type, MF_MT_AUDIO_BITS_PER_SAMPLE, 0);
    const UINT32 align = GetOr(type, MF_MT_AUDIO_BLOCK_ALIGNMENT, channels * 2);
    if (!AacEncoderTakes(*format)) return MF_E_TOPO_CODEC_NOT_FOUND;
    // The AAC encoder takes 16-bit PCM and neither resamples nor remixes.
    if (bits != 16 || rate != format->rate || channels != format->channels ||
        align != channels * 2) {
      return MF_E_INVALIDMEDIATYPE;
    }
    format->block_align = align;
    format->record.input_subtype = subtype;
    format->record.rate = rate;
    format->record.channels = channels;
    format->record.bits = bits;
  }
  format->has_input = true;
  return S_OK;
}

}  // namespace winsim
