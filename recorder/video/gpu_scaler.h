// GpuScaler: fits a picture into a frame of another size on the GPU with
// Direct3D 11's video processor: the whole picture scaled into a rectangle
// of the frame, the rest of the frame black. The video processor is the
// part of the GPU made for scaling video frames; it runs beside the
// processor, so the recording's frames still never leave the GPU.
//
// Not every device has one (ID3D11VideoDevice is missing on some drivers
// and under Wine); Create then fails and the recording reads the screen
// through GDI, which scales on the processor.
#pragma once

#include <windows.h>

#include <d3d11.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "recorder/recorder_error.h"
#include "recorder/video/frame_scaler.h"
#include "recorder/video/gpu_device.h"
#include "win32_support/com_ref.h"

namespace morl::recorder {

class GpuScaler {
 public:
  // Scales pictures of `from` into `placed` (inside a frame of `to`). The
  // pictures and frames are BGRA textures of the device, the frames made
  // for rendering (BgraTextureDesc).
  static Result<std::unique_ptr<GpuScaler>> Create(GpuDevice& gpu, FrameSize from, FrameSize to,
                                                   const RECT& placed);
  GpuScaler(const GpuScaler&) = delete;
  GpuScaler& operator=(const GpuScaler&) = delete;

  // Draws `picture` scaled into `frame`. Views of the textures are made on
  // first use and kept: a recording scales the same few textures over and
  // over.
  Status Scale(ID3D11Texture2D* picture, ID3D11Texture2D* frame);

 private:
  explicit GpuScaler(GpuDevice& gpu) : gpu_(gpu) {}
  Status CreateProcessor(FrameSize from, FrameSize to);
  void SetPlacement(FrameSize from, FrameSize to, const RECT& placed);
  // A view made so far, kept beside the texture it shows.
  template <typename View>
  struct ViewOf {
    ComRef<ID3D11Texture2D> texture;
    ComRef<View> view;
  };
  // The view of `texture` among `views`; on first use made by `make` (given
  // the slot for the view; `call` names it in an error) and kept.
  template <typename View, typename Make>
  static Result<View*> ViewFor(std::vector<ViewOf<View>>& views, ID3D11Texture2D* texture,
                               const char* call, const Make& make);
  Result<ID3D11VideoProcessorInputView*> InputView(ID3D11Texture2D* picture);
  Result<ID3D11VideoProcessorOutputView*> OutputView(ID3D11Texture2D* frame);

  GpuDevice& gpu_;
  ComRef<ID3D11VideoDevice> video_device_;
  ComRef<ID3D11VideoContext> video_context_;
  ComRef<ID3D11VideoProcessorEnumerator> enumerator_;
  ComRef<ID3D11VideoProcessor> processor_;
  std::vector<ViewOf<ID3D11VideoProcessorInputView>> inputs_;
  std::vector<ViewOf<ID3D11VideoProcessorOutputView>> outputs_;
};

// Where a picture of `picture` goes in a frame of `frame`: as large as fits
// with its aspect kept (FitInside), centred.
RECT CentredPlacement(FrameSize picture, FrameSize frame);

}  // namespace morl::recorder
