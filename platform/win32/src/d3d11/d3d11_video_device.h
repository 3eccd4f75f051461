// A device's ID3D11VideoDevice and its immediate context's
// ID3D11VideoContext. Both are part of their owner: their references are the
// device's, and QueryInterface is the device's or the context's, so they
// share its identity as on Windows. The rules are listed in d3d11_video.h.
#pragma once

#include <d3d11.h>

namespace winsim::d3d11 {

class VideoDevice final : public ID3D11VideoDevice {
 public:
  explicit VideoDevice(ID3D11Device* device) : device_(device) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return device_->QueryInterface(riid, object);
  }
  ULONG AddRef() override { return device_->AddRef(); }
  ULONG Release() override { return device_->Release(); }

  HRESULT CreateVideoProcessor(ID3D11VideoProcessorEnumerator* enumerator, UINT rate_index,
                               ID3D11VideoProcessor** processor) override;
  HRESULT CreateVideoProcessorInputView(ID3D11Resource* resource,
                                        ID3D11VideoProcessorEnumerator* enumerator,
                                        const D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC* desc,
                                        ID3D11VideoProcessorInputView** view) override;
  HRESULT CreateVideoProcessorOutputView(ID3D11Resource* resource,
                                         ID3D11VideoProcessorEnumerator* enumerator,
                                         const D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC* desc,
                                         ID3D11VideoProcessorOutputView** view) override;
  HRESULT CreateVideoProcessorEnumerator(const D3D11_VIDEO_PROCESSOR_CONTENT_DESC* desc,
                                         ID3D11VideoProcessorEnumerator** enumerator) override;

  // Decoding and protected content are not simulated.
  HRESULT CreateVideoDecoder(const D3D11_VIDEO_DECODER_DESC*, const D3D11_VIDEO_DECODER_CONFIG*,
                             ID3D11VideoDecoder**) override {
    return E_NOTIMPL;
  }
  HRESULT CreateAuthenticatedChannel(D3D11_AUTHENTICATED_CHANNEL_TYPE,
                                     ID3D11AuthenticatedChannel**) override {
    return E_NOTIMPL;
  }
  HRESULT CreateCryptoSession(const GUID*, const GUID*, const GUID*,
                              ID3D11CryptoSession**) override {
    return E_NOTIMPL;
  }
  HRESULT CreateVideoDecoderOutputView(ID3D11Resource*, const D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC*,
                                       ID3D11VideoDecoderOutputView**) override {
    return E_NOTIMPL;
  }
  UINT GetVideoDecoderProfileCount() override { return 0; }
  HRESULT GetVideoDecoderProfile(UINT, GUID*) override { return E_INVALIDARG; }
  HRESULT CheckVideoDecoderFormat(const GUID*, DXGI_FORMAT, BOOL*) override { return E_NOTIMPL; }
  HRESULT GetVideoDecoderConfigCount(const D3D11_VIDEO_DECODER_DESC*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT GetVideoDecoderConfig(const D3D11_VIDEO_DECODER_DESC*, UINT,
                                D3D11_VIDEO_DECODER_CONFIG*) override {
    return E_NOTIMPL;
  }
  HRESULT GetContentProtectionCaps(const GUID*, const GUID*,
                                   D3D11_VIDEO_CONTENT_PROTECTION_CAPS*) override {
    return E_NOTIMPL;
  }
  HRESULT CheckCryptoKeyExchange(const GUID*, const GUID*, UINT, GUID*) override {
    return E_NOTIMPL;
  }
  HRESULT SetPrivateData(REFGUID, UINT, const void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateDataInterface(REFGUID, const IUnknown*) override { return E_NOTIMPL; }

 private:
  ID3D11Device* device_;
};

}  // namespace winsim::d3d11
