// Direct3D 11 video processing on the simulated machine: the enumerator, the
// processor and its views, which ID3D11VideoDevice makes, and the state the
// video context sets on a processor. The processor scales one stream of
// BGRA, RGBA or NV12 pixels into a BGRA, RGBA or NV12 texture on the
// calling thread, as the device's other work is done.
//
// The rules kept, with the Microsoft pages they follow:
// - Who offers it ("ID3D11VideoDevice interface", remarks, and
//   "IMFDXGIDeviceManager::GetVideoService"): a device answers QueryInterface
//   for ID3D11VideoDevice, and its immediate context for ID3D11VideoContext,
//   only on a hardware GPU whose driver offers video processing ("gpu":
//   {"video_processor": true}, the default). A device on the basic render
//   driver (WARP, or a hardware device on a machine without a GPU, which
//   renders through the basic display adapter) gives E_NOINTERFACE, as the
//   pages say of WARP and of the basic display adapter.
// - CreateVideoProcessorEnumerator ("ID3D11VideoDevice::
//   CreateVideoProcessorEnumerator", "D3D11_VIDEO_PROCESSOR_CONTENT_DESC"):
//   input and output sizes 1 to 16384, a known frame format and usage, else
//   E_INVALIDARG. The content description is a hint: frames of other sizes
//   are processed all the same.
// - CheckVideoProcessorFormat ("ID3D11VideoProcessorEnumerator::
//   CheckVideoProcessorFormat", "D3D11_VIDEO_PROCESSOR_FORMAT_SUPPORT"):
//   B8G8R8A8_UNORM, R8G8B8A8_UNORM and NV12 are input and output formats;
//   other formats have no flags.
// - GetVideoProcessorCaps ("D3D11_VIDEO_PROCESSOR_CAPS"): one input stream
//   and one stream state, RGB range conversion and YCbCr nominal range, no
//   filters, stereo, rotation or automatic processing; one rate conversion
//   (index 0: no past or future frames, no deinterlacing, no custom rates).
//   An index past them, a filter or a custom rate is E_INVALIDARG.
// - CreateVideoProcessor ("ID3D11VideoDevice::CreateVideoProcessor"): an
//   enumerator of the same device and a rate conversion index below
//   RateConversionCapsCount, else E_INVALIDARG.
// - CreateVideoProcessorInputView ("ID3D11VideoDevice::
//   CreateVideoProcessorInputView", "D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC"):
//   a texture and an enumerator of the same device, a D3D11_USAGE_DEFAULT
//   texture without multisampling whose bind flags are none or include
//   DECODER, VIDEO_ENCODER, RENDER_TARGET or UNORDERED_ACCESS, in an input
//   format; a description with FourCC 0 (the texture's own format),
//   D3D11_VPIV_DIMENSION_TEXTURE2D, MipSlice 0 and ArraySlice 0. Anything
//   else is E_INVALIDARG.
// - CreateVideoProcessorOutputView ("ID3D11VideoDevice::
//   CreateVideoProcessorOutputView"): the same, with a texture bound as
//   D3D11_BIND_RENDER_TARGET in an output format (NV12 included, which
//   takes no render-target view) and a description of
//   D3D11_VPOV_DIMENSION_TEXTURE2D with MipSlice 0. With a null view pointer
//   either call only checks, giving S_FALSE as the device's other Create
//   calls do.
// - The state set through the video context belongs to the processor; only
//   stream 0 has one (MaxStreamStates is 1), so calls naming another stream
//   are ignored, and the Get calls give what was set. Defaults: no output
//   target rectangle (the whole output), no source rectangle (the whole
//   input: "VideoProcessorSetStreamSourceRect"), no destination rectangle,
//   which draws nothing of the stream ("VideoProcessorSetStreamDestRect":
//   the default destination is the empty rectangle and no data is written
//   from the stream), a black RGB background, progressive frames, and
//   colour spaces of zeros: full-range RGB, BT.601, studio-range YCbCr
//   ("D3D11_VIDEO_PROCESSOR_COLOR_SPACE", default state values).
// - VideoProcessorBlt ("ID3D11VideoContext::VideoProcessorBlt",
//   "D3D11_VIDEO_PROCESSOR_STREAM"): a processor and an output view of the
//   device, one stream (StreamCount at most MaxStreamStates, at least one),
//   whose input view is of the device when it is enabled, with no past or
//   future frames and no right-eye surfaces, and a source rectangle, when
//   set, inside the input; else E_INVALIDARG. The output target rectangle
//   (the whole output unless set, clipped to it) is filled with the
//   background colour ("VideoProcessorSetOutputBackgroundColor": areas of
//   the target rectangle without video; nothing outside it changes) where
//   the stream's destination rectangle does not cover it; where it does,
//   the source rectangle is scaled into it by area averaging (each output
//   pixel the mean of the input area it covers, weighted by coverage), so
//   equal sizes copy exactly. A disabled stream draws only background.
//   Colours pass through the processor as R'G'B' from 0 to 1: RGB input
//   and output follow their colour space's RGB_Range, NV12 input and output
//   its YCbCr_Matrix (BT.601 or BT.709) and Nominal_Range (0-255 when
//   D3D11_VIDEO_PROCESSOR_NOMINAL_RANGE_0_255, else 16-235). NV12 input
//   gives each pixel the chroma of its 2x2 block; NV12 output makes each
//   block's chroma the mean of its pixels inside the target rectangle. A
//   YCbCr background is given in the output's coding ("D3D11_VIDEO_COLOR_
//   YCbCrA": f * 255 for 8 bits, reference black 0.0625, 0.5, 0.5). Output
//   alpha is opaque (D3D11_VIDEO_PROCESSOR_ALPHA_FILL_MODE_OPAQUE, the only
//   fill mode simulated). Interlaced frame formats are processed as
//   progressive frames.
// - Failures can be injected by name for every Create call and for
//   "ID3D11VideoContext::VideoProcessorBlt"; each object counts live as
//   "com:" and its interface name, and a Blt counts as the GPU's work.
#pragma once

#include <d3d11.h>

#include <mutex>

#include "com/com_ref.h"
#include "d3d11/d3d11_objects.h"

namespace winsim::d3d11 {

// What the video context sets on a processor (stream 0's and the output's).
struct VideoState {
  bool target_enabled = false;
  RECT target{};
  bool background_ycbcr = false;
  D3D11_VIDEO_COLOR background{};
  D3D11_VIDEO_PROCESSOR_COLOR_SPACE output_space{};
  D3D11_VIDEO_FRAME_FORMAT frame_format = D3D11_VIDEO_FRAME_FORMAT_PROGRESSIVE;
  D3D11_VIDEO_PROCESSOR_COLOR_SPACE stream_space{};
  bool source_enabled = false;
  RECT source{};
  bool dest_enabled = false;
  RECT dest{};
};

// D3D11_VIDEO_PROCESSOR_FORMAT_SUPPORT flags of `format`.
UINT VideoFormatSupport(DXGI_FORMAT format);
// CreateVideoProcessorEnumerator's check of a content description.
bool ValidContentDesc(const D3D11_VIDEO_PROCESSOR_CONTENT_DESC& desc);

class VideoProcessorEnumerator final : public ComObject<ID3D11VideoProcessorEnumerator> {
 public:
  VideoProcessorEnumerator(ComRef<ID3D11Device> device,
                           const D3D11_VIDEO_PROCESSOR_CONTENT_DESC& desc);
  static VideoProcessorEnumerator* From(IUnknown* object);
  ID3D11Device* device() const { return device_.Get(); }
  const D3D11_VIDEO_PROCESSOR_CONTENT_DESC& desc() const { return desc_; }

  void GetDevice(ID3D11Device** device) override;
  HRESULT GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateData(REFGUID, UINT, const void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateDataInterface(REFGUID, const IUnknown*) override { return E_NOTIMPL; }
  HRESULT GetVideoProcessorContentDesc(D3D11_VIDEO_PROCESSOR_CONTENT_DESC* desc) override;
  HRESULT CheckVideoProcessorFormat(DXGI_FORMAT format, UINT* flags) override;
  HRESULT GetVideoProcessorCaps(D3D11_VIDEO_PROCESSOR_CAPS* caps) override;
  HRESULT GetVideoProcessorRateConversionCaps(
      UINT index, D3D11_VIDEO_PROCESSOR_RATE_CONVERSION_CAPS* caps) override;
  HRESULT GetVideoProcessorCustomRate(UINT, UINT, D3D11_VIDEO_PROCESSOR_CUSTOM_RATE*) override {
    return E_INVALIDARG;  // no custom rates
  }
  HRESULT GetVideoProcessorFilterRange(D3D11_VIDEO_PROCESSOR_FILTER,
                                       D3D11_VIDEO_PROCESSOR_FILTER_RANGE*) override {
    return E_INVALIDARG;  // no filters
  }

 protected:
  void* FindInterface(REFIID riid) override;

 private:
  ComRef<ID3D11Device> device_;
  D3D11_VIDEO_PROCESSOR_CONTENT_DESC desc_;
};

class VideoProcessor final : public ComObject<ID3D11VideoProcessor> {
 public:
  explicit VideoProcessor(ComRef<ID3D11VideoProcessorEnumerator> enumerator);
  static VideoProcessor* From(IUnknown* object);
  ID3D11Device* device() const { return enumerator()->device(); }
  // The context's state of this processor, read and changed under mutex().
  VideoState& state() { return state_; }
  std::mutex& mutex() { return mutex_; }

  void GetDevice(ID3D11Device** device) override { enumerator()->GetDevice(device); }
  HRESULT GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateData(REFGUID, UINT, const void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateDataInterface(REFGUID, const IUnknown*) override { return E_NOTIMPL; }
  void GetContentDesc(D3D11_VIDEO_PROCESSOR_CONTENT_DESC* desc) override;
  void GetRateConversionCaps(D3D11_VIDEO_PROCESSOR_RATE_CONVERSION_CAPS* caps) override;

 protected:
  void* FindInterface(REFIID riid) override;

 private:
  VideoProcessorEnumerator* enumerator() const {
    return VideoProcessorEnumerator::From(enumerator_.Get());
  }

  ComRef<ID3D11VideoProcessorEnumerator> enumerator_;
  std::mutex mutex_;
  VideoState state_;
};

// An input or output view: a texture of the device seen by the processor.
template <typename Interface, typename Desc>
class VideoView final : public ComObject<Interface> {
 public:
  VideoView(const char* kind, ComRef<ID3D11Texture2D> texture, const Desc& desc)
      : ComObject<Interface>(kind), texture_(std::move(texture)), desc_(desc) {}
  static VideoView* From(IUnknown* object) { return dynamic_cast<VideoView*>(object); }
  Texture* texture() const { return Texture::From(texture_.Get()); }

  void GetDevice(ID3D11Device** device) override { texture_->GetDevice(device); }
  HRESULT GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateData(REFGUID, UINT, const void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateDataInterface(REFGUID, const IUnknown*) override { return E_NOTIMPL; }
  void GetResource(ID3D11Resource** resource) override {
    if (resource == nullptr) return;
    texture_->AddRef();
    *resource = texture_.Get();
  }
  void GetDesc(Desc* desc) override {
    if (desc != nullptr) *desc = desc_;
  }

 protected:
  void* FindInterface(REFIID riid) override {
    if (riid == IID_ID3D11View || riid == IID_ID3D11DeviceChild)
      return static_cast<Interface*>(this);
    return ComObject<Interface>::FindInterface(riid);
  }

 private:
  ComRef<ID3D11Texture2D> texture_;
  Desc desc_;
};

using VideoInputView =
    VideoView<ID3D11VideoProcessorInputView, D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC>;
using VideoOutputView =
    VideoView<ID3D11VideoProcessorOutputView, D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC>;

// CreateVideoProcessorInputView's and ...OutputView's checks of a texture
// and a view description: S_OK or E_INVALIDARG.
HRESULT CheckVideoInputView(const Texture& texture,
                            const D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC* desc);
HRESULT CheckVideoOutputView(const Texture& texture,
                             const D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC* desc);

// VideoProcessorBlt's drawing, once its arguments are checked: `input`
// (null for a disabled stream) through `state` into `output`.
void ProcessVideo(const VideoState& state, Texture* input, Texture& output);

}  // namespace winsim::d3d11
