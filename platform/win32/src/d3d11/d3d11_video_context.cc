// The video context: a processor's state and VideoProcessorBlt's checks. The
// rules are listed in d3d11_video.h.
#include "d3d11/d3d11_video_context.h"

#include <mutex>

#include "d3d11/d3d11_video.h"
#include "machine/machine_work.h"

namespace winsim::d3d11 {
namespace {

// Calls `use` with the state of `processor` under its lock when it is one of
// `device`'s and `stream` is 0, the only stream with a state.
template <typename Use>
void WithState(ID3D11Device* device, ID3D11VideoProcessor* processor, UINT stream, Use use) {
  VideoProcessor* found = VideoProcessor::From(processor);
  if (found == nullptr || found->device() != device || stream != 0) return;
  std::lock_guard<std::mutex> lock(found->mutex());
  use(found->state());
}

void SetRect(bool* enabled, RECT* rect, BOOL enable, const RECT* given) {
  *enabled = enable != FALSE && given != nullptr;
  *rect = *enabled ? *given : RECT{};
}

void GetRect(bool enabled, const RECT& rect, BOOL* enabled_out, RECT* rect_out) {
  if (enabled_out != nullptr) *enabled_out = enabled ? TRUE : FALSE;
  if (rect_out != nullptr) *rect_out = rect;
}

template <typename T>
void Put(T* out, T value) {
  if (out != nullptr) *out = value;
}

bool Inside(const RECT& rect, const D3D11_TEXTURE2D_DESC& desc) {
  return rect.left >= 0 && rect.top >= 0 && rect.left < rect.right && rect.top < rect.bottom &&
         rect.right <= static_cast<LONG>(desc.Width) &&
         rect.bottom <= static_cast<LONG>(desc.Height);
}

// The input of an enabled stream when it is a view of `device`, its other
// surfaces unused; null otherwise.
Texture* StreamInput(ID3D11Device* device, const D3D11_VIDEO_PROCESSOR_STREAM& stream) {
  VideoInputView* view = VideoInputView::From(stream.pInputSurface);
  if (view == nullptr || view->texture()->device() != device || stream.PastFrames != 0 ||
      stream.FutureFrames != 0 || stream.pInputSurfaceRight != nullptr) {
    return nullptr;
  }
  return view->texture();
}

}  // namespace

void VideoContext::VideoProcessorSetOutputTargetRect(ID3D11VideoProcessor* processor, BOOL enable,
                                                     const RECT* rect) {
  WithState(device_, processor, 0,
            [&](VideoState& s) { SetRect(&s.target_enabled, &s.target, enable, rect); });
}

void VideoContext::VideoProcessorGetOutputTargetRect(ID3D11VideoProcessor* processor, BOOL* enabled,
                                                     RECT* rect) {
  WithState(device_, processor, 0,
            [&](VideoState& s) { GetRect(s.target_enabled, s.target, enabled, rect); });
}

void VideoContext::VideoProcessorSetOutputBackgroundColor(ID3D11VideoProcessor* processor,
                                                          BOOL y_cb_cr,
                                                          const D3D11_VIDEO_COLOR* color) {
  if (color == nullptr) return;
  WithState(device_, processor, 0, [&](VideoState& s) {
    s.background_ycbcr = y_cb_cr != FALSE;
    s.background = *color;
  });
}

void VideoContext::VideoProcessorGetOutputBackgroundColor(ID3D11VideoProcessor* processor,
                                                          BOOL* y_cb_cr, D3D11_VIDEO_COLOR* color) {
  WithState(device_, processor, 0, [&](VideoState& s) {
    Put(y_cb_cr, s.background_ycbcr ? TRUE : FALSE);
    Put(color, s.background);
  });
}

void VideoContext::VideoProcessorSetOutputColorSpace(
    ID3D11VideoProcessor* processor, const D3D11_VIDEO_PROCESSOR_COLOR_SPACE* space) {
  if (space == nullptr) return;
  WithState(device_, processor, 0, [&](VideoState& s) { s.output_space = *space; });
}

void VideoContext::VideoProcessorGetOutputColorSpace(ID3D11VideoProcessor* processor,
                                                     D3D11_VIDEO_PROCESSOR_COLOR_SPACE* space) {
  WithState(device_, processor, 0, [&](VideoState& s) { Put(space, s.output_space); });
}

void VideoContext::VideoProcessorSetStreamFrameFormat(ID3D11VideoProcessor* processor, UINT stream,
                                                      D3D11_VIDEO_FRAME_FORMAT format) {
  WithState(device_, processor, stream, [&](VideoState& s) { s.frame_format = format; });
}

void VideoContext::VideoProcessorGetStreamFrameFormat(ID3D11VideoProcessor* processor, UINT stream,
                                                      D3D11_VIDEO_FRAME_FORMAT* format) {
  WithState(device_, processor, stream, [&](VideoState& s) { Put(format, s.frame_format); });
}

void VideoContext::VideoProcessorSetStreamColorSpace(
    ID3D11VideoProcessor* processor, UINT stream, const D3D11_VIDEO_PROCESSOR_COLOR_SPACE* space) {
  if (space == nullptr) return;
  WithState(device_, processor, stream, [&](VideoState& s) { s.stream_space = *space; });
}

void VideoContext::VideoProcessorGetStreamColorSpace(ID3D11VideoProcessor* processor, UINT stream,
                                                     D3D11_VIDEO_PROCESSOR_COLOR_SPACE* space) {
  WithState(device_, processor, stream, [&](VideoState& s) { Put(space, s.stream_space); });
}

void VideoContext::VideoProcessorSetStreamSourceRect(ID3D11VideoProcessor* processor, UINT stream,
                                                     BOOL enable, const RECT* rect) {
  WithState(device_, processor, stream,
            [&](VideoState& s) { SetRect(&s.source_enabled, &s.source, enable, rect); });
}

void VideoContext::VideoProcessorGetStreamSourceRect(ID3D11VideoProcessor* processor, UINT stream,
                                                     BOOL* enabled, RECT* rect) {
  WithState(device_, processor, stream,
            [&](VideoState& s) { GetRect(s.source_enabled, s.source, enabled, rect); });
}

void VideoContext::VideoProcessorSetStreamDestRect(ID3D11VideoProcessor* processor, UINT stream,
                                                   BOOL enable, const RECT* rect) {
  WithState(device_, processor, stream,
            [&](VideoState& s) { SetRect(&s.dest_enabled, &s.dest, enable, rect); });
}

void VideoContext::VideoProcessorGetStreamDestRect(ID3D11VideoProcessor* processor, UINT stream,
                                                   BOOL* enabled, RECT* rect) {
  WithState(device_, processor, stream,
            [&](VideoState& s) { GetRect(s.dest_enabled, s.dest, enabled, rect); });
}

HRESULT VideoContext::VideoProcessorBlt(ID3D11VideoProcessor* processor,
                                        ID3D11VideoProcessorOutputView* view, UINT,
                                        UINT stream_count,
                                        const D3D11_VIDEO_PROCESSOR_STREAM* streams) {
  const GpuWork gpu;
  const HRESULT injected = InjectedFailure("ID3D11VideoContext::VideoProcessorBlt");
  if (FAILED(injected)) return injected;
  VideoProcessor* found = VideoProcessor::From(processor);
  VideoOutputView* output = VideoOutputView::From(view);
  if (found == nullptr || found->device() != device_ || output == nullptr ||
      output->texture()->device() != device_ || stream_count != 1 || streams == nullptr) {
    return E_INVALIDARG;
  }
  Texture* input = nullptr;
  if (streams[0].Enable != FALSE) {
    input = StreamInput(device_, streams[0]);
    if (input == nullptr) return E_INVALIDARG;
  }
  VideoState state;
  {
    std::lock_guard<std::mutex> lock(found->mutex());
    state = found->state();
  }
  if (input != nullptr && state.source_enabled && !Inside(state.source, input->desc())) {
    return E_INVALIDARG;
  }
  ProcessVideo(state, input, *output->texture());
  return S_OK;
}

void VideoContext::VideoProcessorGetOutputAlphaFillMode(ID3D11VideoProcessor*,
                                                        D3D11_VIDEO_PROCESSOR_ALPHA_FILL_MODE* mode,
                                                        UINT* stream) {
  Put(mode, D3D11_VIDEO_PROCESSOR_ALPHA_FILL_MODE_OPAQUE);
  Put(stream, 0u);
}

void VideoContext::VideoProcessorGetOutputConstriction(ID3D11VideoProcessor*, BOOL* enabled,
                                                       SIZE* size) {
  Put(enabled, FALSE);
  Put(size, SIZE{});
}

void VideoContext::VideoProcessorGetOutputStereoMode(ID3D11VideoProcessor*, BOOL* enabled) {
  Put(enabled, FALSE);
}

void VideoContext::VideoProcessorGetStreamOutputRate(ID3D11VideoProcessor*, UINT,
                                                     D3D11_VIDEO_PROCESSOR_OUTPUT_RATE* rate,
                                                     BOOL* repeat, DXGI_RATIONAL* custom_rate) {
  Put(rate, D3D11_VIDEO_PROCESSOR_OUTPUT_RATE_NORMAL);
  Put(repeat, FALSE);
  Put(custom_rate, DXGI_RATIONAL{});
}

void VideoContext::VideoProcessorGetStreamAlpha(ID3D11VideoProcessor*, UINT, BOOL* enabled,
                                                float* alpha) {
  Put(enabled, FALSE);
  Put(alpha, 1.0f);
}

void VideoContext::VideoProcessorGetStreamPixelAspectRatio(ID3D11VideoProcessor*, UINT,
                                                           BOOL* enabled, DXGI_RATIONAL*,
                                                           DXGI_RATIONAL*) {
  Put(enabled, FALSE);
}

void VideoContext::VideoProcessorGetStreamLumaKey(ID3D11VideoProcessor*, UINT, BOOL* enabled,
                                                  float*, float*) {
  Put(enabled, FALSE);
}

void VideoContext::VideoProcessorGetStreamStereoFormat(ID3D11VideoProcessor*, UINT, BOOL* enabled,
                                                       D3D11_VIDEO_PROCESSOR_STEREO_FORMAT* format,
                                                       BOOL*, BOOL*,
                                                       D3D11_VIDEO_PROCESSOR_STEREO_FLIP_MODE*,
                                                       int*) {
  Put(enabled, FALSE);
  Put(format, D3D11_VIDEO_PROCESSOR_STEREO_FORMAT_MONO);
}

void VideoContext::VideoProcessorGetStreamAutoProcessingMode(ID3D11VideoProcessor*, UINT,
                                                             BOOL* enabled) {
  Put(enabled, FALSE);
}

void VideoContext::VideoProcessorGetStreamFilter(ID3D11VideoProcessor*, UINT,
                                                 D3D11_VIDEO_PROCESSOR_FILTER, BOOL* enabled,
                                                 int*) {
  Put(enabled, FALSE);
}

void VideoContext::VideoProcessorGetStreamRotation(ID3D11VideoProcessor*, UINT, BOOL* enabled,
                                                   D3D11_VIDEO_PROCESSOR_ROTATION* rotation) {
  Put(enabled, FALSE);
  Put(rotation, D3D11_VIDEO_PROCESSOR_ROTATION_IDENTITY);
}

}  // namespace winsim::d3d11
