// The recording's H.264 video stream: 15 frames per second at the capture
// size, fed with uncompressed bottom-up RGB32 frames.
#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <cstdint>

namespace morl::recorder {

// One frame interval in 100-ns ticks, also each video sample's duration
// (a fifteenth of a second, truncated).
constexpr std::int64_t kVideoFrameInterval = 666666;
constexpr UINT32 kVideoFramesPerSecond = 15;

// Average bitrate in bits per second for a frame size: width x height x 15 / 8,
// kept within 1.5 to 10 Mbit/s.
UINT32 VideoBitrate(std::int32_t width, std::int32_t height);

// The longest run of frames between key frames in a fragmented recording:
// two seconds. A fragment starts at each key frame, so this bounds what a
// killed recording can lose.
constexpr UINT32 kFragmentKeyFrameInterval = 2 * kVideoFramesPerSecond;

// Declares the H.264 output stream and its RGB32 input on `writer` and stores
// the stream index. `keyFrameInterval` > 0 asks for a key frame at least
// every that many frames; 0 leaves the spacing to the encoder and sets
// nothing. Returns the first failing HRESULT of AddStream, SetInputMediaType
// or media-type and attribute creation.
HRESULT AddVideoStream(IMFSinkWriter* writer, std::int32_t width, std::int32_t height,
                       DWORD* streamIndex, UINT32 keyFrameInterval = 0);

}  // namespace morl::recorder
