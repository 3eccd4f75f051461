// ID3D11VideoDevice: the processor, its enumerator and its views. The rules
// are listed in d3d11_video.h.
#include "d3d11/d3d11_video_device.h"

#include "d3d11/d3d11_video.h"

namespace winsim::d3d11 {
namespace {

// The enumerator behind `enumerator` when it is one of `device`'s.
VideoProcessorEnumerator* EnumeratorOf(ID3D11Device* device,
                                       ID3D11VideoProcessorEnumerator* enumerator) {
  VideoProcessorEnumerator* found = VideoProcessorEnumerator::From(enumerator);
  return found != nullptr && found->device() == device ? found : nullptr;
}

// The texture behind `resource` when it is one of `device`'s.
Texture* TextureOf(ID3D11Device* device, ID3D11Resource* resource) {
  Texture* found = Texture::From(resource);
  return found != nullptr && found->device() == device ? found : nullptr;
}

// Both view calls: checks, then a view unless only the checks were asked for.
template <typename View, typename Interface, typename Desc, typename Check>
HRESULT MakeView(ID3D11Device* device, const char* call, const char* kind, ID3D11Resource* resource,
                 ID3D11VideoProcessorEnumerator* enumerator, const Desc* desc, Interface** view,
                 Check check) {
  const HRESULT injected = InjectedFailure(call);
  if (FAILED(injected)) return injected;
  if (view != nullptr) *view = nullptr;
  Texture* texture = TextureOf(device, resource);
  if (texture == nullptr || EnumeratorOf(device, enumerator) == nullptr) return E_INVALIDARG;
  const HRESULT checked = check(*texture, desc);
  if (FAILED(checked)) return checked;
  if (view == nullptr) return S_FALSE;
  *view = new View(kind, ComRef<ID3D11Texture2D>::Share(texture), *desc);
  return S_OK;
}

}  // namespace

HRESULT VideoDevice::CreateVideoProcessorEnumerator(const D3D11_VIDEO_PROCESSOR_CONTENT_DESC* desc,
                                                    ID3D11VideoProcessorEnumerator** enumerator) {
  const HRESULT injected = InjectedFailure("ID3D11VideoDevice::CreateVideoProcessorEnumerator");
  if (FAILED(injected)) return injected;
  if (enumerator == nullptr) return E_INVALIDARG;
  *enumerator = nullptr;
  if (desc == nullptr || !ValidContentDesc(*desc)) return E_INVALIDARG;
  *enumerator = new VideoProcessorEnumerator(ComRef<ID3D11Device>::Share(device_), *desc);
  return S_OK;
}

HRESULT VideoDevice::CreateVideoProcessor(ID3D11VideoProcessorEnumerator* enumerator,
                                          UINT rate_index, ID3D11VideoProcessor** processor) {
  const HRESULT injected = InjectedFailure("ID3D11VideoDevice::CreateVideoProcessor");
  if (FAILED(injected)) return injected;
  if (processor == nullptr) return E_INVALIDARG;
  *processor = nullptr;
  if (EnumeratorOf(device_, enumerator) == nullptr || rate_index != 0) return E_INVALIDARG;
  *processor = new VideoProcessor(ComRef<ID3D11VideoProcessorEnumerator>::Share(enumerator));
  return S_OK;
}

HRESULT VideoDevice::CreateVideoProcessorInputView(
    ID3D11Resource* resource, ID3D11VideoProcessorEnumerator* enumerator,
    const D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC* desc, ID3D11VideoProcessorInputView** view) {
  return MakeView<VideoInputView>(device_, "ID3D11VideoDevice::CreateVideoProcessorInputView",
                                  "ID3D11VideoProcessorInputView", resource, enumerator, desc, view,
                                  CheckVideoInputView);
}

HRESULT VideoDevice::CreateVideoProcessorOutputView(
    ID3D11Resource* resource, ID3D11VideoProcessorEnumerator* enumerator,
    const D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC* desc, ID3D11VideoProcessorOutputView** view) {
  return MakeView<VideoOutputView>(device_, "ID3D11VideoDevice::CreateVideoProcessorOutputView",
                                   "ID3D11VideoProcessorOutputView", resource, enumerator, desc,
                                   view, CheckVideoOutputView);
}

}  // namespace winsim::d3d11
