// The recording's H.264 video stream: 15 frames per second unless asked
// otherwise, at the capture size, fed with uncompressed bottom-up RGB32
// frames.
#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <cstdint>

#include "recorder/media_time.h"

namespace morl::recorder {

// One frame interval in 100-ns ticks, also each video sample's duration
// (a fifteenth of a second, truncated).
constexpr std::int64_t kVideoFrameInterval = 666666;
constexpr UINT32 kVideoFramesPerSecond = 15;

// The frame interval at `frames_per_second` frames a second, in 100-ns ticks,
// truncated (666666 at 15).
constexpr std::int64_t FrameInterval(std::int32_t frames_per_second) {
  return frames_per_second > 0 ? kTicksPerSecond / frames_per_second : kVideoFrameInterval;
}

// Average bitrate in bits per second for a frame size and rate:
// width x height x framesPerSecond / 8, kept within 1.5 to 10 Mbit/s.
UINT32 VideoBitrate(std::int32_t width, std::int32_t height,
                    std::int32_t frames_per_second = kVideoFramesPerSecond);

// The longest run of frames between key frames in a fragmented recording:
// two seconds. A fragment starts at each key frame, so this bounds what a
// killed recording can lose.
constexpr UINT32 FragmentKeyFrameInterval(std::int32_t frames_per_second) {
  return 2 * static_cast<UINT32>(frames_per_second > 0 ? frames_per_second : 1);
}
constexpr UINT32 kFragmentKeyFrameInterval = FragmentKeyFrameInterval(kVideoFramesPerSecond);

// Declares the H.264 output stream and its RGB32 input on `writer` and stores
// the stream index, at `frames_per_second`. `key_frame_interval` > 0 asks for a
// key frame at least every that many frames; 0 leaves the spacing to the
// encoder and sets nothing. `bitrate` is the output type's MF_MT_AVG_BITRATE;
// 0 gives VideoBitrate's. Returns the first failing HRESULT of AddStream,
// SetInputMediaType or media-type and attribute creation.
HRESULT AddVideoStream(IMFSinkWriter* writer, std::int32_t width, std::int32_t height,
                       DWORD* stream_index, UINT32 key_frame_interval = 0,
                       std::int32_t frames_per_second = kVideoFramesPerSecond,
                       UINT32 bitrate = 0);

}  // namespace morl::recorder
