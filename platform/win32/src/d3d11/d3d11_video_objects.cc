// The video processor enumerator, the processor and the checks of its views.
// The rules are listed in d3d11_video.h.
#include <utility>

#include "d3d11/d3d11_video.h"

namespace winsim::d3d11 {
namespace {

constexpr UINT kMaxSide = 16384;  // D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION
constexpr UINT kInputBinds = D3D11_BIND_DECODER | D3D11_BIND_VIDEO_ENCODER |
                             D3D11_BIND_RENDER_TARGET | D3D11_BIND_UNORDERED_ACCESS;

bool ValidSide(UINT side) { return side >= 1 && side <= kMaxSide; }

// The description rules every view's texture follows.
bool ViewableTexture(const D3D11_TEXTURE2D_DESC& desc) {
  return desc.Usage == D3D11_USAGE_DEFAULT && desc.SampleDesc.Count == 1;
}

}  // namespace

UINT VideoFormatSupport(DXGI_FORMAT format) {
  switch (format) {
    case DXGI_FORMAT_B8G8R8A8_UNORM:
    case DXGI_FORMAT_R8G8B8A8_UNORM:
    case DXGI_FORMAT_NV12:
      return D3D11_VIDEO_PROCESSOR_FORMAT_SUPPORT_INPUT |
             D3D11_VIDEO_PROCESSOR_FORMAT_SUPPORT_OUTPUT;
    default:
      return 0;
  }
}

bool ValidContentDesc(const D3D11_VIDEO_PROCESSOR_CONTENT_DESC& desc) {
  return ValidSide(desc.InputWidth) && ValidSide(desc.InputHeight) && ValidSide(desc.OutputWidth) &&
         ValidSide(desc.OutputHeight) &&
         desc.InputFrameFormat >= D3D11_VIDEO_FRAME_FORMAT_PROGRESSIVE &&
         desc.InputFrameFormat <= D3D11_VIDEO_FRAME_FORMAT_INTERLACED_BOTTOM_FIELD_FIRST &&
         desc.Usage >= D3D11_VIDEO_USAGE_PLAYBACK_NORMAL &&
         desc.Usage <= D3D11_VIDEO_USAGE_OPTIMAL_QUALITY;
}

HRESULT CheckVideoInputView(const Texture& texture,
                            const D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC* desc) {
  const D3D11_TEXTURE2D_DESC& tex = texture.desc();
  const bool binds = tex.BindFlags == 0 || (tex.BindFlags & kInputBinds) != 0;
  if (desc == nullptr || !ViewableTexture(tex) || !binds ||
      (VideoFormatSupport(tex.Format) & D3D11_VIDEO_PROCESSOR_FORMAT_SUPPORT_INPUT) == 0 ||
      desc->FourCC != 0 || desc->ViewDimension != D3D11_VPIV_DIMENSION_TEXTURE2D ||
      desc->Texture2D.MipSlice != 0 || desc->Texture2D.ArraySlice != 0) {
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT CheckVideoOutputView(const Texture& texture,
                             const D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC* desc) {
  const D3D11_TEXTURE2D_DESC& tex = texture.desc();
  if (desc == nullptr || !ViewableTexture(tex) || (tex.BindFlags & D3D11_BIND_RENDER_TARGET) == 0 ||
      (VideoFormatSupport(tex.Format) & D3D11_VIDEO_PROCESSOR_FORMAT_SUPPORT_OUTPUT) == 0 ||
      desc->ViewDimension != D3D11_VPOV_DIMENSION_TEXTURE2D || desc->Texture2D.MipSlice != 0) {
    return E_INVALIDARG;
  }
  return S_OK;
}

VideoProcessorEnumerator::VideoProcessorEnumerator(ComRef<ID3D11Device> device,
                                                   const D3D11_VIDEO_PROCESSOR_CONTENT_DESC& desc)
    : ComObject("ID3D11VideoProcessorEnumerator"), device_(std::move(device)), desc_(desc) {}

VideoProcessorEnumerator* VideoProcessorEnumerator::From(IUnknown* object) {
  return dynamic_cast<VideoProcessorEnumerator*>(object);
}

void VideoProcessorEnumerator::GetDevice(ID3D11Device** device) {
  if (device == nullptr) return;
  device_->AddRef();
  *device = device_.Get();
}

HRESULT VideoProcessorEnumerator::GetVideoProcessorContentDesc(
    D3D11_VIDEO_PROCESSOR_CONTENT_DESC* desc) {
  if (desc == nullptr) return E_INVALIDARG;
  *desc = desc_;
  return S_OK;
}

HRESULT VideoProcessorEnumerator::CheckVideoProcessorFormat(DXGI_FORMAT format, UINT* flags) {
  if (flags == nullptr) return E_INVALIDARG;
  *flags = VideoFormatSupport(format);
  return S_OK;
}

HRESULT VideoProcessorEnumerator::GetVideoProcessorCaps(D3D11_VIDEO_PROCESSOR_CAPS* caps) {
  if (caps == nullptr) return E_INVALIDARG;
  *caps = D3D11_VIDEO_PROCESSOR_CAPS{};
  caps->DeviceCaps = D3D11_VIDEO_PROCESSOR_DEVICE_CAPS_RGB_RANGE_CONVERSION |
                     D3D11_VIDEO_PROCESSOR_DEVICE_CAPS_NOMINAL_RANGE;
  caps->RateConversionCapsCount = 1;
  caps->MaxInputStreams = 1;
  caps->MaxStreamStates = 1;
  return S_OK;
}

HRESULT VideoProcessorEnumerator::GetVideoProcessorRateConversionCaps(
    UINT index, D3D11_VIDEO_PROCESSOR_RATE_CONVERSION_CAPS* caps) {
  if (caps == nullptr || index != 0) return E_INVALIDARG;
  *caps = D3D11_VIDEO_PROCESSOR_RATE_CONVERSION_CAPS{};
  return S_OK;
}

void* VideoProcessorEnumerator::FindInterface(REFIID riid) {
  if (riid == IID_ID3D11DeviceChild) return static_cast<ID3D11VideoProcessorEnumerator*>(this);
  return ComObject::FindInterface(riid);
}

VideoProcessor::VideoProcessor(ComRef<ID3D11VideoProcessorEnumerator> enumerator)
    : ComObject("ID3D11VideoProcessor"), enumerator_(std::move(enumerator)) {}

VideoProcessor* VideoProcessor::From(IUnknown* object) {
  return dynamic_cast<VideoProcessor*>(object);
}

void VideoProcessor::GetContentDesc(D3D11_VIDEO_PROCESSOR_CONTENT_DESC* desc) {
  if (desc != nullptr) *desc = enumerator()->desc();
}

void VideoProcessor::GetRateConversionCaps(D3D11_VIDEO_PROCESSOR_RATE_CONVERSION_CAPS* caps) {
  if (caps != nullptr) *caps = D3D11_VIDEO_PROCESSOR_RATE_CONVERSION_CAPS{};
}

void* VideoProcessor::FindInterface(REFIID riid) {
  if (riid == IID_ID3D11DeviceChild) return static_cast<ID3D11VideoProcessor*>(this);
  return ComObject::FindInterface(riid);
}

}  // namespace winsim::d3d11
