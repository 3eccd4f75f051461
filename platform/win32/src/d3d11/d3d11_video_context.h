// The immediate context's ID3D11VideoContext (see d3d11_video_device.h for
// how it belongs to the context). It sets and reads a processor's state and
// runs VideoProcessorBlt; the rules are listed in d3d11_video.h. Decoding,
// protected content and the stream features the processor's caps leave out
// (alpha, palette, aspect ratio, luma key, stereo, filters, rotation,
// automatic processing, extensions, constriction) are ignored when set and
// read back as off.
#pragma once

#include <d3d11.h>

namespace winsim::d3d11 {

class VideoContext final : public ID3D11VideoContext {
 public:
  VideoContext(ID3D11Device* device, ID3D11DeviceContext* context)
      : device_(device), context_(context) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return context_->QueryInterface(riid, object);
  }
  ULONG AddRef() override { return context_->AddRef(); }
  ULONG Release() override { return context_->Release(); }
  void GetDevice(ID3D11Device** device) override { context_->GetDevice(device); }
  HRESULT GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateData(REFGUID, UINT, const void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateDataInterface(REFGUID, const IUnknown*) override { return E_NOTIMPL; }

  // The processor's state.
  void VideoProcessorSetOutputTargetRect(ID3D11VideoProcessor* processor, BOOL enable,
                                         const RECT* rect) override;
  void VideoProcessorSetOutputBackgroundColor(ID3D11VideoProcessor* processor, BOOL y_cb_cr,
                                              const D3D11_VIDEO_COLOR* color) override;
  void VideoProcessorSetOutputColorSpace(ID3D11VideoProcessor* processor,
                                         const D3D11_VIDEO_PROCESSOR_COLOR_SPACE* space) override;
  void VideoProcessorGetOutputTargetRect(ID3D11VideoProcessor* processor, BOOL* enabled,
                                         RECT* rect) override;
  void VideoProcessorGetOutputBackgroundColor(ID3D11VideoProcessor* processor, BOOL* y_cb_cr,
                                              D3D11_VIDEO_COLOR* color) override;
  void VideoProcessorGetOutputColorSpace(ID3D11VideoProcessor* processor,
                                         D3D11_VIDEO_PROCESSOR_COLOR_SPACE* space) override;
  void VideoProcessorSetStreamFrameFormat(ID3D11VideoProcessor* processor, UINT stream,
                                          D3D11_VIDEO_FRAME_FORMAT format) override;
  void VideoProcessorSetStreamColorSpace(ID3D11VideoProcessor* processor, UINT stream,
                                         const D3D11_VIDEO_PROCESSOR_COLOR_SPACE* space) override;
  void VideoProcessorSetStreamSourceRect(ID3D11VideoProcessor* processor, UINT stream, BOOL enable,
                                         const RECT* rect) override;
  void VideoProcessorSetStreamDestRect(ID3D11VideoProcessor* processor, UINT stream, BOOL enable,
                                       const RECT* rect) override;
  void VideoProcessorGetStreamFrameFormat(ID3D11VideoProcessor* processor, UINT stream,
                                          D3D11_VIDEO_FRAME_FORMAT* format) override;
  void VideoProcessorGetStreamColorSpace(ID3D11VideoProcessor* processor, UINT stream,
                                         D3D11_VIDEO_PROCESSOR_COLOR_SPACE* space) override;
  void VideoProcessorGetStreamSourceRect(ID3D11VideoProcessor* processor, UINT stream,
                                         BOOL* enabled, RECT* rect) override;
  void VideoProcessorGetStreamDestRect(ID3D11VideoProcessor* processor, UINT stream, BOOL* enabled,
                                       RECT* rect) override;
  HRESULT VideoProcessorBlt(ID3D11VideoProcessor* processor, ID3D11VideoProcessorOutputView* view,
                            UINT output_frame, UINT stream_count,
                            const D3D11_VIDEO_PROCESSOR_STREAM* streams) override;

  // Only the opaque alpha fill mode, normal output rate and mono output.
  void VideoProcessorSetOutputAlphaFillMode(ID3D11VideoProcessor*,
                                            D3D11_VIDEO_PROCESSOR_ALPHA_FILL_MODE, UINT) override {}
  void VideoProcessorGetOutputAlphaFillMode(ID3D11VideoProcessor*,
                                            D3D11_VIDEO_PROCESSOR_ALPHA_FILL_MODE* mode,
                                            UINT* stream) override;
  void VideoProcessorSetOutputConstriction(ID3D11VideoProcessor*, BOOL, SIZE) override {}
  void VideoProcessorGetOutputConstriction(ID3D11VideoProcessor*, BOOL* enabled,
                                           SIZE* size) override;
  void VideoProcessorSetOutputStereoMode(ID3D11VideoProcessor*, BOOL) override {}
  void VideoProcessorGetOutputStereoMode(ID3D11VideoProcessor*, BOOL* enabled) override;
  HRESULT VideoProcessorSetOutputExtension(ID3D11VideoProcessor*, const GUID*, UINT,
                                           void*) override {
    return E_NOTIMPL;
  }
  HRESULT VideoProcessorGetOutputExtension(ID3D11VideoProcessor*, const GUID*, UINT,
                                           void*) override {
    return E_NOTIMPL;
  }
  void VideoProcessorSetStreamOutputRate(ID3D11VideoProcessor*, UINT,
                                         D3D11_VIDEO_PROCESSOR_OUTPUT_RATE, BOOL,
                                         const DXGI_RATIONAL*) override {}
  void VideoProcessorGetStreamOutputRate(ID3D11VideoProcessor*, UINT,
                                         D3D11_VIDEO_PROCESSOR_OUTPUT_RATE* rate, BOOL* repeat,
                                         DXGI_RATIONAL* custom_rate) override;
  void VideoProcessorSetStreamAlpha(ID3D11VideoProcessor*, UINT, BOOL, float) override {}
  void VideoProcessorGetStreamAlpha(ID3D11VideoProcessor*, UINT, BOOL* enabled,
                                    float* alpha) override;
  void VideoProcessorSetStreamPalette(ID3D11VideoProcessor*, UINT, UINT, const UINT*) override {}
  void VideoProcessorGetStreamPalette(ID3D11VideoProcessor*, UINT, UINT, UINT*) override {}
  void VideoProcessorSetStreamPixelAspectRatio(ID3D11VideoProcessor*, UINT, BOOL,
                                               const DXGI_RATIONAL*,
                                               const DXGI_RATIONAL*) override {}
  void VideoProcessorGetStreamPixelAspectRatio(ID3D11VideoProcessor*, UINT, BOOL* enabled,
                                               DXGI_RATIONAL*, DXGI_RATIONAL*) override;
  void VideoProcessorSetStreamLumaKey(ID3D11VideoProcessor*, UINT, BOOL, float, float) override {}
  void VideoProcessorGetStreamLumaKey(ID3D11VideoProcessor*, UINT, BOOL* enabled, float*,
                                      float*) override;
  void VideoProcessorSetStreamStereoFormat(ID3D11VideoProcessor*, UINT, BOOL,
                                           D3D11_VIDEO_PROCESSOR_STEREO_FORMAT, BOOL, BOOL,
                                           D3D11_VIDEO_PROCESSOR_STEREO_FLIP_MODE, int) override {}
  void VideoProcessorGetStreamStereoFormat(ID3D11VideoProcessor*, UINT, BOOL* enabled,
                                           D3D11_VIDEO_PROCESSOR_STEREO_FORMAT*, BOOL*, BOOL*,
                                           D3D11_VIDEO_PROCESSOR_STEREO_FLIP_MODE*, int*) override;
  void VideoProcessorSetStreamAutoProcessingMode(ID3D11VideoProcessor*, UINT, BOOL) override {}
  void VideoProcessorGetStreamAutoProcessingMode(ID3D11VideoProcessor*, UINT,
                                                 BOOL* enabled) override;
  void VideoProcessorSetStreamFilter(ID3D11VideoProcessor*, UINT, D3D11_VIDEO_PROCESSOR_FILTER,
                                     BOOL, int) override {}
  void VideoProcessorGetStreamFilter(ID3D11VideoProcessor*, UINT, D3D11_VIDEO_PROCESSOR_FILTER,
                                     BOOL* enabled, int*) override;
  HRESULT VideoProcessorSetStreamExtension(ID3D11VideoProcessor*, UINT, const GUID*, UINT,
                                           void*) override {
    return E_NOTIMPL;
  }
  HRESULT VideoProcessorGetStreamExtension(ID3D11VideoProcessor*, UINT, const GUID*, UINT,
                                           void*) override {
    return E_NOTIMPL;
  }
  void VideoProcessorSetStreamRotation(ID3D11VideoProcessor*, UINT, BOOL,
                                       D3D11_VIDEO_PROCESSOR_ROTATION) override {}
  void VideoProcessorGetStreamRotation(ID3D11VideoProcessor*, UINT, BOOL* enabled,
                                       D3D11_VIDEO_PROCESSOR_ROTATION* rotation) override;

  // Decoding and protected content are not simulated.
  HRESULT GetDecoderBuffer(ID3D11VideoDecoder*, D3D11_VIDEO_DECODER_BUFFER_TYPE, UINT*,
                           void**) override {
    return E_NOTIMPL;
  }
  HRESULT ReleaseDecoderBuffer(ID3D11VideoDecoder*, D3D11_VIDEO_DECODER_BUFFER_TYPE) override {
    return E_NOTIMPL;
  }
  HRESULT DecoderBeginFrame(ID3D11VideoDecoder*, ID3D11VideoDecoderOutputView*, UINT,
                            const void*) override {
    return E_NOTIMPL;
  }
  HRESULT DecoderEndFrame(ID3D11VideoDecoder*) override { return E_NOTIMPL; }
  HRESULT SubmitDecoderBuffers(ID3D11VideoDecoder*, UINT,
                               const D3D11_VIDEO_DECODER_BUFFER_DESC*) override {
    return E_NOTIMPL;
  }
  HRESULT DecoderExtension(ID3D11VideoDecoder*, const D3D11_VIDEO_DECODER_EXTENSION*) override {
    return E_NOTIMPL;
  }
  HRESULT NegotiateCryptoSessionKeyExchange(ID3D11CryptoSession*, UINT, void*) override {
    return E_NOTIMPL;
  }
  void EncryptionBlt(ID3D11CryptoSession*, ID3D11Texture2D*, ID3D11Texture2D*, UINT,
                     void*) override {}
  void DecryptionBlt(ID3D11CryptoSession*, ID3D11Texture2D*, ID3D11Texture2D*,
                     D3D11_ENCRYPTED_BLOCK_INFO*, UINT, const void*, UINT, void*) override {}
  void StartSessionKeyRefresh(ID3D11CryptoSession*, UINT, void*) override {}
  void FinishSessionKeyRefresh(ID3D11CryptoSession*) override {}
  HRESULT GetEncryptionBltKey(ID3D11CryptoSession*, UINT, void*) override { return E_NOTIMPL; }
  HRESULT NegotiateAuthenticatedChannelKeyExchange(ID3D11AuthenticatedChannel*, UINT,
                                                   void*) override {
    return E_NOTIMPL;
  }
  HRESULT QueryAuthenticatedChannel(ID3D11AuthenticatedChannel*, UINT, const void*, UINT,
                                    void*) override {
    return E_NOTIMPL;
  }
  HRESULT ConfigureAuthenticatedChannel(ID3D11AuthenticatedChannel*, UINT, const void*,
                                        D3D11_AUTHENTICATED_CONFIGURE_OUTPUT*) override {
    return E_NOTIMPL;
  }

 private:
  ID3D11Device* device_;
  ID3D11DeviceContext* context_;
};

}  // namespace winsim::d3d11
