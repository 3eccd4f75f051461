#include "recorder/video/gpu_scaler.h"

namespace morl::recorder {

namespace {

constexpr char kCode[] = "start_failed";

ComRef<ID3D11Texture2D> Keep(ID3D11Texture2D* texture) {
  texture->AddRef();
  return ComRef<ID3D11Texture2D>(texture);
}

}  // namespace

RECT CentredPlacement(FrameSize picture, FrameSize frame) {
  const FrameSize fitted = FitInside(picture, frame);
  const LONG left = (frame.width - fitted.width) / 2;
  const LONG top = (frame.height - fitted.height) / 2;
  return RECT{left, top, left + fitted.width, top + fitted.height};
}

Result<std::unique_ptr<GpuScaler>> GpuScaler::Create(GpuDevice& gpu, FrameSize from, FrameSize to,
                                                     const RECT& placed) {
  std::unique_ptr<GpuScaler> made(new GpuScaler(gpu));
  MORL_RETURN_IF_ERROR(made->CreateProcessor(from, to));
  made->SetPlacement(from, to, placed);
  return made;
}

Status GpuScaler::CreateProcessor(FrameSize from, FrameSize to) {
  MORL_RETURN_IF_FAILED(gpu_.device()->QueryInterface(IID_PPV_ARGS(video_device_.Put())), kCode,
                        "ID3D11VideoDevice");
  MORL_RETURN_IF_FAILED(gpu_.context()->QueryInterface(IID_PPV_ARGS(video_context_.Put())), kCode,
                        "ID3D11VideoContext");
  D3D11_VIDEO_PROCESSOR_CONTENT_DESC content{};
  content.InputFrameFormat = D3D11_VIDEO_FRAME_FORMAT_PROGRESSIVE;
  content.InputWidth = static_cast<UINT>(from.width);
  content.InputHeight = static_cast<UINT>(from.height);
  content.OutputWidth = static_cast<UINT>(to.width);
  content.OutputHeight = static_cast<UINT>(to.height);
  // One picture in, one frame out: no rate conversion.
  content.InputFrameRate = DXGI_RATIONAL{1, 1};
  content.OutputFrameRate = DXGI_RATIONAL{1, 1};
  content.Usage = D3D11_VIDEO_USAGE_OPTIMAL_QUALITY;
  MORL_RETURN_IF_FAILED(
      video_device_->CreateVideoProcessorEnumerator(&content, enumerator_.Put()), kCode,
      "CreateVideoProcessorEnumerator");
  UINT support = 0;
  MORL_RETURN_IF_FAILED(enumerator_->CheckVideoProcessorFormat(DXGI_FORMAT_B8G8R8A8_UNORM, &support),
                        kCode, "CheckVideoProcessorFormat");
  constexpr UINT kBoth = D3D11_VIDEO_PROCESSOR_FORMAT_SUPPORT_INPUT |
                         D3D11_VIDEO_PROCESSOR_FORMAT_SUPPORT_OUTPUT;
  if ((support & kBoth) != kBoth) {
    return CallError(kCode, "CheckVideoProcessorFormat", E_NOTIMPL);
  }
  return CheckCall(video_device_->CreateVideoProcessor(enumerator_.Get(), 0, processor_.Put()),
                   kCode, "CreateVideoProcessor");
}

// The processor keeps these settings, so they are made once: the whole
// picture into `placed`, black elsewhere, full-range RGB on both sides and
// none of the driver's own picture "enhancements", which would change the
// screen's colours.
void GpuScaler::SetPlacement(FrameSize from, FrameSize to, const RECT& placed) {
  ID3D11VideoContext* context = video_context_.Get();
  ID3D11VideoProcessor* processor = processor_.Get();
  const RECT whole_picture{0, 0, from.width, from.height};
  const RECT whole_frame{0, 0, to.width, to.height};
  context->VideoProcessorSetStreamFrameFormat(processor, 0, D3D11_VIDEO_FRAME_FORMAT_PROGRESSIVE);
  context->VideoProcessorSetStreamSourceRect(processor, 0, TRUE, &whole_picture);
  context->VideoProcessorSetStreamDestRect(processor, 0, TRUE, &placed);
  context->VideoProcessorSetOutputTargetRect(processor, TRUE, &whole_frame);
  D3D11_VIDEO_COLOR black{};
  black.RGBA = D3D11_VIDEO_COLOR_RGBA{0.0f, 0.0f, 0.0f, 1.0f};
  context->VideoProcessorSetOutputBackgroundColor(processor, FALSE, &black);
  D3D11_VIDEO_PROCESSOR_COLOR_SPACE full_range_rgb{};
  full_range_rgb.RGB_Range = 0;
  context->VideoProcessorSetStreamColorSpace(processor, 0, &full_range_rgb);
  context->VideoProcessorSetOutputColorSpace(processor, &full_range_rgb);
  context->VideoProcessorSetStreamAutoProcessingMode(processor, 0, FALSE);
}

template <typename View, typename Make>
Result<View*> GpuScaler::ViewFor(std::vector<ViewOf<View>>& views, ID3D11Texture2D* texture,
                                 const char* call, const Make& make) {
  for (const ViewOf<View>& known : views) {
    if (known.texture.Get() == texture) return known.view.Get();
  }
  ViewOf<View> made{Keep(texture), {}};
  MORL_RETURN_IF_FAILED(make(made.view.Put()), "", call);
  views.push_back(std::move(made));
  return views.back().view.Get();
}

Result<ID3D11VideoProcessorInputView*> GpuScaler::InputView(ID3D11Texture2D* picture) {
  return ViewFor(inputs_, picture, "CreateVideoProcessorInputView",
                 [&](ID3D11VideoProcessorInputView** view) {
                   D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC desc{};
                   desc.ViewDimension = D3D11_VPIV_DIMENSION_TEXTURE2D;
                   return video_device_->CreateVideoProcessorInputView(
                       picture, enumerator_.Get(), &desc, view);
                 });
}

Result<ID3D11VideoProcessorOutputView*> GpuScaler::OutputView(ID3D11Texture2D* frame) {
  return ViewFor(outputs_, frame, "CreateVideoProcessorOutputView",
                 [&](ID3D11VideoProcessorOutputView** view) {
                   D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC desc{};
                   desc.ViewDimension = D3D11_VPOV_DIMENSION_TEXTURE2D;
                   return video_device_->CreateVideoProcessorOutputView(
                       frame, enumerator_.Get(), &desc, view);
                 });
}

Status GpuScaler::Scale(ID3D11Texture2D* picture, ID3D11Texture2D* frame) {
  const Result<ID3D11VideoProcessorInputView*> input = InputView(picture);
  MORL_RETURN_IF_ERROR(input);
  const Result<ID3D11VideoProcessorOutputView*> output = OutputView(frame);
  MORL_RETURN_IF_ERROR(output);
  D3D11_VIDEO_PROCESSOR_STREAM stream{};
  stream.Enable = TRUE;
  stream.pInputSurface = *input;
  return CheckCall(video_context_->VideoProcessorBlt(processor_.Get(), *output, 0, 1, &stream), "",
                   "VideoProcessorBlt");
}

}  // namespace morl::recorder
