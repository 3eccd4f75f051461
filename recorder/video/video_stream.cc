#include "recorder/video/video_stream.h"

#include <codecapi.h>

#include <algorithm>

#include "win32_support/com_ref.h"

namespace morl::recorder {

namespace {

constexpr std::int64_t kMinBitrate = 1'500'000;
constexpr std::int64_t kMaxBitrate = 10'000'000;

// Media Foundation packs size and ratio attributes as two UINT32 halves of a
// UINT64: the first value in the high half.
UINT64 PackPair(UINT32 high, UINT32 low) { return (static_cast<UINT64>(high) << 32) | low; }

// The attributes the output and input types share. Setter results are not
// checked: a type missing an attribute is refused by the writer, which is
// where the failure is reported.
void SetVideoFormat(IMFMediaType* type, const GUID& subtype, std::int32_t width,
                    std::int32_t height, std::int32_t frames_per_second) {
  type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
  type->SetGUID(MF_MT_SUBTYPE, subtype);
  type->SetUINT64(MF_MT_FRAME_SIZE,
                  PackPair(static_cast<UINT32>(width), static_cast<UINT32>(height)));
  type->SetUINT64(MF_MT_FRAME_RATE, PackPair(static_cast<UINT32>(frames_per_second), 1));
  type->SetUINT64(MF_MT_PIXEL_ASPECT_RATIO, PackPair(1, 1));
  type->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
}

}  // namespace

UINT32 VideoBitrate(std::int32_t width, std::int32_t height, std::int32_t frames_per_second) {
  const std::int64_t bits = static_cast<std::int64_t>(width) * height * frames_per_second / 8;
  return static_cast<UINT32>(std::clamp(bits, kMinBitrate, kMaxBitrate));
}

HRESULT AddVideoStream(IMFSinkWriter* writer, std::int32_t width, std::int32_t height,
                       DWORD* stream_index, UINT32 key_frame_interval,
                       std::int32_t frames_per_second, UINT32 bitrate) {
  ComRef<IMFMediaType> output;
  HRESULT hr = MFCreateMediaType(output.Put());
  if (FAILED(hr)) return hr;
  SetVideoFormat(output.Get(), MFVideoFormat_H264, width, height, frames_per_second);
  output->SetUINT32(MF_MT_AVG_BITRATE,
                    bitrate > 0 ? bitrate : VideoBitrate(width, height, frames_per_second));
  // The media type's spacing describes the stream to the file sink; the
  // H.264 encoder takes its GOP size from the encoding parameters below,
  // which the sink writer hands to it through ICodecAPI.
  if (key_frame_interval > 0) output->SetUINT32(MF_MT_MAX_KEYFRAME_SPACING, key_frame_interval);
  hr = writer->AddStream(output.Get(), stream_index);
  if (FAILED(hr)) return hr;

  ComRef<IMFMediaType> input;
  hr = MFCreateMediaType(input.Put());
  if (FAILED(hr)) return hr;
  SetVideoFormat(input.Get(), MFVideoFormat_RGB32, width, height, frames_per_second);
  // Frames come bottom-up, as GDI captures them. An RGB type without a
  // stride is taken as bottom-up too, but only by convention: the negative
  // stride says it, so the converter cannot read the picture upside down.
  hr = input->SetUINT32(MF_MT_DEFAULT_STRIDE, static_cast<UINT32>(-width * 4));
  if (FAILED(hr)) return hr;
  ComRef<IMFAttributes> encoding;
  if (key_frame_interval > 0) {
    hr = MFCreateAttributes(encoding.Put(), 1);
    if (FAILED(hr)) return hr;
    hr = encoding->SetUINT32(CODECAPI_AVEncMPVGOPSize, key_frame_interval);
    if (FAILED(hr)) return hr;
  }
  return writer->SetInputMediaType(*stream_index, input.Get(), encoding.Get());
}

}  // namespace morl::recorder
