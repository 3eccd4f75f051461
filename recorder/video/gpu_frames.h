// GpuFrames: the frames of a recording read by desktop duplication, handed to
// the encoder without leaving the GPU. Each frame is the duplication's
// picture copied into the next texture of a ring, with the pointer drawn in
// (only the few pixels under it go through a small staging texture to be
// blended on the CPU), wrapped in a DXGI surface buffer and written as a
// sample. A picture of another size than the frame is composed with its
// pointer in a texture of its own, then scaled into the frame by the GPU's
// video processor (GpuScaler), centred with its aspect kept. The sink
// writer may hold a sample until its encoder has taken it, so a texture is
// used again only after the ring has gone round: the video worker keeps
// fewer frames than the ring in flight (see GpuFramesInFlight).
#pragma once

#include <windows.h>

#include <d3d11.h>
#include <mfobjects.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "recorder/recorder_error.h"
#include "recorder/video/desktop_duplication.h"
#include "recorder/video/frame_scaler.h"
#include "recorder/video/gpu_device.h"
#include "recorder/video/gpu_scaler.h"
#include "win32_support/com_ref.h"

namespace morl::recorder {

struct VideoWork;

// How many frames of `width` x `height` the encoder may hold on the GPU path:
// 256 MB of textures, at least 4 and at most 16.
std::int64_t GpuFramesInFlight(std::int32_t width, std::int32_t height);

class GpuFrames {
 public:
  // Frames of `frame` size from pictures of `picture` size.
  static Result<std::unique_ptr<GpuFrames>> Create(GpuDevice& gpu, FrameSize frame,
                                                   FrameSize picture);
  GpuFrames(const GpuFrames&) = delete;
  GpuFrames& operator=(const GpuFrames&) = delete;

  // `source`'s picture with its pointer drawn in, in the next texture of the
  // ring, as a media buffer for the sink writer; an error names the failing
  // call.
  Result<ComRef<IMFMediaBuffer>> Compose(const DesktopDuplication& source);
  // Compose, then WriteVideoFrameBuffer: the frame captured at `now`.
  Status Write(const VideoWork& work, const DesktopDuplication& source, std::int64_t now);

 private:
  GpuFrames(GpuDevice& gpu, FrameSize frame, FrameSize picture);
  Status CreateTextures(std::size_t count);
  Status CreateScaling();
  Status DrawPointer(ID3D11Texture2D* canvas, const PointerState& pointer);
  Status EnsureStaging(std::int32_t width, std::int32_t height);

  GpuDevice& gpu_;
  FrameSize frame_;
  FrameSize picture_;
  std::vector<ComRef<ID3D11Texture2D>> ring_;
  // Only when the picture is scaled: the picture with its pointer, and the
  // scaler that fits it into the frame.
  ComRef<ID3D11Texture2D> composed_;
  std::unique_ptr<GpuScaler> scaler_;
  std::size_t next_ = 0;
  ComRef<ID3D11Texture2D> staging_;  // the pixels under the pointer
  std::int32_t staging_width_ = 0;
  std::int32_t staging_height_ = 0;
};

}  // namespace morl::recorder
