// The device and its immediate context. The context is part of the device:
// its references are the device's, so either keeps both alive, and it is
// counted on its own ("ID3D11DeviceContext") for as long as the device lives.
// So are the video device and video context, where the device offers them
// (d3d11_video.h).
#include "d3d11/d3d11_device.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <utility>

#include "d3d11/d3d11_format.h"
#include "d3d11/d3d11_objects.h"
#include "d3d11/d3d11_video_context.h"
#include "d3d11/d3d11_video_device.h"
#include "dxgi/dxgi_objects.h"
#include "machine/machine_work.h"
#include "winsim_gpu.h"

namespace winsim::d3d11 {
namespace {

class Context final : public ID3D11DeviceContext {
 public:
  // `video`: the context's ID3D11VideoContext, or null where the device
  // offers no video processing.
  Context(ID3D11Device* device, ID3D11VideoContext* video) : device_(device), video_(video) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_ID3D11DeviceChild || riid == IID_ID3D11DeviceContext) {
      *object = static_cast<ID3D11DeviceContext*>(this);
      AddRef();
      return S_OK;
    }
    if (riid == IID_ID3D11VideoContext && video_ != nullptr) {
      *object = video_;
      AddRef();
      return S_OK;
    }
    if (riid == IID_ID3D10Multithread) return device_->QueryInterface(riid, object);
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return device_->AddRef(); }
  ULONG Release() override { return device_->Release(); }

  void GetDevice(ID3D11Device** device) override {
    if (device == nullptr) return;
    device_->AddRef();
    *device = device_;
  }
  HRESULT GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateData(REFGUID, UINT, const void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateDataInterface(REFGUID, const IUnknown*) override { return E_NOTIMPL; }

  HRESULT Map(ID3D11Resource* resource, UINT subresource, D3D11_MAP map_type, UINT map_flags,
              D3D11_MAPPED_SUBRESOURCE* mapped) override {
    const HRESULT injected = InjectedFailure("ID3D11DeviceContext::Map");
    if (FAILED(injected)) return injected;
    return MapTexture(device_, Texture::From(resource), subresource, map_type, map_flags, mapped);
  }
  void Unmap(ID3D11Resource* resource, UINT subresource) override {
    UnmapTexture(device_, Texture::From(resource), subresource);
  }
  void CopySubresourceRegion(ID3D11Resource* dst, UINT dst_subresource, UINT dst_x, UINT dst_y,
                             UINT dst_z, ID3D11Resource* src, UINT src_subresource,
                             const D3D11_BOX* src_box) override {
    if (dst_subresource != 0 || src_subresource != 0 || dst_z != 0) return;
    CopyRegion(device_, Texture::From(dst), dst_x, dst_y, Texture::From(src), src_box);
  }
  void CopyResource(ID3D11Resource* dst, ID3D11Resource* src) override {
    CopyWhole(device_, Texture::From(dst), Texture::From(src));
  }
  void UpdateSubresource(ID3D11Resource* dst, UINT dst_subresource, const D3D11_BOX* dst_box,
                         const void* data, UINT row_pitch, UINT) override {
    if (dst_subresource != 0) return;
    UpdateRegion(device_, Texture::From(dst), dst_box, data, row_pitch);
  }
  void ClearRenderTargetView(ID3D11RenderTargetView* view, const FLOAT color[4]) override {
    ClearView(device_, dynamic_cast<RenderTargetView*>(view), color);
  }
  void Flush() override {}

 private:
  ID3D11Device* device_;
  ID3D11VideoContext* video_;
  Tracked tracked_{Kind::kCom, "ID3D11DeviceContext"};
};

// Whether devices on `adapter` offer video processing: the machine's GPU
// when its driver does, never the basic render driver ("ID3D11VideoDevice
// interface": WARP and the basic display adapter answer E_NOINTERFACE).
bool OffersVideo(IDXGIAdapter* adapter) {
  const std::optional<Gpu> gpu = MachineGpu();
  return !dxgi::IsBasicRender(adapter) && gpu.has_value() && gpu->video_processor;
}

class Device final : public ComObject<ID3D11Device, IDXGIDevice, ID3D10Multithread> {
 public:
  Device(ComRef<IDXGIAdapter> adapter, D3D_FEATURE_LEVEL level, UINT flags)
      : ComObject("ID3D11Device"),
        adapter_(std::move(adapter)),
        level_(level),
        flags_(flags),
        video_(OffersVideo(adapter_.Get())),
        context_(this, video_ ? &video_context_ : nullptr) {}

  HRESULT CreateTexture2D(const D3D11_TEXTURE2D_DESC* desc,
                          const D3D11_SUBRESOURCE_DATA* initial_data,
                          ID3D11Texture2D** texture) override;
  HRESULT CreateRenderTargetView(ID3D11Resource* resource,
                                 const D3D11_RENDER_TARGET_VIEW_DESC* desc,
                                 ID3D11RenderTargetView** view) override;
  HRESULT CheckFormatSupport(DXGI_FORMAT format, UINT* support) override;
  D3D_FEATURE_LEVEL GetFeatureLevel() override { return level_; }
  UINT GetCreationFlags() override { return flags_; }
  HRESULT GetDeviceRemovedReason() override {
    return InjectedFailure("ID3D11Device::GetDeviceRemovedReason");
  }
  void GetImmediateContext(ID3D11DeviceContext** context) override {
    if (context == nullptr) return;
    context_.AddRef();
    *context = &context_;
  }

  // IDXGIObject and IDXGIDevice.
  HRESULT SetPrivateData(REFGUID, UINT, const void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateDataInterface(REFGUID, const IUnknown*) override { return E_NOTIMPL; }
  HRESULT GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
  HRESULT GetParent(REFIID riid, void** parent) override {
    if (parent == nullptr) return DXGI_ERROR_INVALID_CALL;
    return adapter_->QueryInterface(riid, parent);
  }
  HRESULT GetAdapter(IDXGIAdapter** adapter) override {
    const HRESULT injected = InjectedFailure("IDXGIDevice::GetAdapter");
    if (FAILED(injected)) return injected;
    if (adapter == nullptr) return E_INVALIDARG;
    adapter_->AddRef();
    *adapter = adapter_.Get();
    return S_OK;
  }
  HRESULT CreateSurface(const DXGI_SURFACE_DESC*, UINT, DXGI_USAGE, const DXGI_SHARED_RESOURCE*,
                        IDXGISurface**) override {
    return E_NOTIMPL;
  }
  HRESULT QueryResourceResidency(IUnknown* const*, DXGI_RESIDENCY*, UINT) override {
    return E_NOTIMPL;
  }
  HRESULT SetGPUThreadPriority(INT) override { return E_NOTIMPL; }
  HRESULT GetGPUThreadPriority(INT*) override { return E_NOTIMPL; }

  // ID3D10Multithread: Enter and Leave hold the device's lock whether or not
  // protection is on; the simulation's calls are safe from any thread.
  void Enter() override { lock_.lock(); }
  void Leave() override { lock_.unlock(); }
  BOOL SetMultithreadProtected(BOOL protect) override {
    return protected_.exchange(protect != FALSE) ? TRUE : FALSE;
  }
  BOOL GetMultithreadProtected() override { return protected_ ? TRUE : FALSE; }

 protected:
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IDXGIObject) return static_cast<IDXGIDevice*>(this);
    if (riid == IID_ID3D11VideoDevice && video_)
      return static_cast<ID3D11VideoDevice*>(&video_device_);
    return ComObject::FindInterface(riid);
  }

 public:
  LUID adapter_luid() const { return dxgi::AdapterLuid(adapter_.Get()); }

 private:
  ComRef<IDXGIAdapter> adapter_;
  D3D_FEATURE_LEVEL level_;
  UINT flags_;
  bool video_;
  Context context_;
  VideoDevice video_device_{this};
  VideoContext video_context_{this, &context_};
  std::recursive_mutex lock_;
  std::atomic<bool> protected_{false};
};

HRESULT Device::CreateTexture2D(const D3D11_TEXTURE2D_DESC* desc,
                                const D3D11_SUBRESOURCE_DATA* initial_data,
                                ID3D11Texture2D** texture) {
  const HRESULT injected = InjectedFailure("ID3D11Device::CreateTexture2D");
  if (FAILED(injected)) return injected;
  if (texture != nullptr) *texture = nullptr;
  if (desc == nullptr) return E_INVALIDARG;
  const HRESULT checked = CheckTextureDesc(*desc, initial_data);
  if (FAILED(checked)) return checked;
  if (texture == nullptr) return S_FALSE;  // the description alone was to be validated
  const GpuWork gpu;  // the driver clears or fills the texture's memory
  auto* made = new Texture(ComRef<ID3D11Device>::Share(this), *desc);
  if (initial_data != nullptr) FillTexture(*made, *initial_data);
  *texture = made;
  return S_OK;
}

HRESULT Device::CreateRenderTargetView(ID3D11Resource* resource,
                                       const D3D11_RENDER_TARGET_VIEW_DESC* desc,
                                       ID3D11RenderTargetView** view) {
  const HRESULT injected = InjectedFailure("ID3D11Device::CreateRenderTargetView");
  if (FAILED(injected)) return injected;
  if (view != nullptr) *view = nullptr;
  Texture* texture = Texture::From(resource);
  if (texture == nullptr || texture->device() != this) return E_INVALIDARG;
  D3D11_RENDER_TARGET_VIEW_DESC made_desc{};
  const HRESULT checked = CheckRenderTargetView(*texture, desc, &made_desc);
  if (FAILED(checked)) return checked;
  if (view == nullptr) return S_FALSE;
  *view = new RenderTargetView(ComRef<ID3D11Texture2D>::Share(texture), made_desc);
  return S_OK;
}

HRESULT Device::CheckFormatSupport(DXGI_FORMAT format, UINT* support) {
  const HRESULT injected = InjectedFailure("ID3D11Device::CheckFormatSupport");
  if (FAILED(injected)) return injected;
  if (support == nullptr) return E_INVALIDARG;
  *support = 0;
  const FormatInfo info = DescribeFormat(format);
  if (info.group == FormatGroup::kNone) return E_FAIL;
  *support = D3D11_FORMAT_SUPPORT_TEXTURE2D | D3D11_FORMAT_SUPPORT_CPU_LOCKABLE |
             D3D11_FORMAT_SUPPORT_VIDEO_PROCESSOR_INPUT |
             D3D11_FORMAT_SUPPORT_VIDEO_PROCESSOR_OUTPUT;
  if (info.group == FormatGroup::kNv12) {
    *support |= D3D11_FORMAT_SUPPORT_VIDEO_ENCODER;
  } else if (!info.typeless) {
    *support |= D3D11_FORMAT_SUPPORT_RENDER_TARGET | D3D11_FORMAT_SUPPORT_SHADER_LOAD |
                D3D11_FORMAT_SUPPORT_SHADER_SAMPLE;
  }
  return S_OK;
}

}  // namespace

ID3D11Device* FindDevice(IUnknown* device) {
  return static_cast<ID3D11Device*>(dynamic_cast<Device*>(device));
}

LUID AdapterLuidOf(ID3D11Device* device) { return static_cast<Device*>(device)->adapter_luid(); }

ComRef<ID3D11Texture2D> MakeTexture(ID3D11Device* device, const D3D11_TEXTURE2D_DESC& desc) {
  return ComRef<ID3D11Texture2D>(new Texture(ComRef<ID3D11Device>::Share(device), desc));
}

ComRef<ID3D11Device> MakeDevice(ComRef<IDXGIAdapter> adapter, D3D_FEATURE_LEVEL level, UINT flags) {
  return ComRef<ID3D11Device>(new Device(std::move(adapter), level, flags));
}

}  // namespace winsim::d3d11
