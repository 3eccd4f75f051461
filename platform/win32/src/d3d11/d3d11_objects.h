// The simulation's Direct3D 11 objects. A device belongs to one DXGI adapter
// and does its "GPU" work at once, on the calling thread: textures are pixel
// memory, copies and clears change it before the call returns, so Flush has
// nothing to do and a Map never waits.
//
// The rules kept, with the Microsoft pages they come from:
// - D3D11CreateDevice ("D3D11CreateDevice function"): an adapter with a
//   driver type other than UNKNOWN, or UNKNOWN without an adapter, is
//   E_INVALIDARG; HARDWARE uses DXGI's adapter 0, WARP the basic render
//   driver. Without a hardware GPU adapter 0 is the basic render driver, so
//   a hardware device is made on it: Windows then renders in software
//   ("DXGI Overview", the basic render driver). REFERENCE, NULL and SOFTWARE
//   give DXGI_ERROR_UNSUPPORTED (the machine has no such rasterizers), the
//   DEBUG flag DXGI_ERROR_SDK_COMPONENT_MISSING (no SDK layers installed).
//   Without a list of feature levels the default list 11_0, 10_1, 10_0, 9_3,
//   9_2, 9_1 is tried, so 11_1 only when asked for; the first level of the
//   list the device supports (9_1 to 11_1) is given; a list of none of them
//   gives DXGI_ERROR_UNSUPPORTED, an empty list or an unknown value
//   E_INVALIDARG. No device out pointer: S_FALSE and only the level.
// - CreateTexture2D ("D3D11_USAGE", "D3D11_CPU_ACCESS_FLAG",
//   "ID3D11Device::CreateTexture2D"): a DEFAULT texture has no CPU access, a
//   STAGING one has CPU access and no bind flags, an IMMUTABLE one needs its
//   initial data; misc flags do not go with CPU access; width and height 1
//   to 16384 (NV12: even). Broken rules give E_INVALIDARG; DYNAMIC textures,
//   mipmaps, arrays and multisampling are not simulated (E_NOTIMPL). A null
//   texture pointer only validates: S_FALSE.
// - Map ("ID3D11DeviceContext::Map"): only a STAGING texture, with a map type
//   its CPU access allows (READ, WRITE, READ_WRITE); a DEFAULT texture, a
//   subresource other than 0, a texture mapped already, WRITE_DISCARD or
//   WRITE_NO_OVERWRITE (for DYNAMIC resources) and a null out pointer give
//   E_INVALIDARG.
// - CopyResource and CopySubresourceRegion ("ID3D11DeviceContext::
//   CopyResource", "...::CopySubresourceRegion"): both return nothing, so a
//   copy that breaks their rules is ignored: the same resource, textures of
//   another device, other sizes (CopyResource), formats of other groups, a
//   mapped texture, an IMMUTABLE destination, an empty box or one outside the
//   source, a region outside the destination, odd NV12 coordinates.
#pragma once

#include <d3d11.h>

#include <memory>
#include <mutex>
#include <vector>

#include "com/com_ref.h"
#include "d3d11/d3d11_texture.h"

namespace winsim::d3d11 {

// ID3D11Resource and IDXGIResource both have a SetEvictionPriority(UINT),
// returning void and HRESULT: each is answered in a base of its own, since
// one class cannot override both.
struct Texture2DFacet : ID3D11Texture2D {
  void SetEvictionPriority(UINT) override {}

 protected:
  ~Texture2DFacet() = default;
};
struct DxgiResourceFacet : IDXGIResource {
  HRESULT SetEvictionPriority(UINT) override { return E_NOTIMPL; }

 protected:
  ~DxgiResourceFacet() = default;
};

}  // namespace winsim::d3d11

MORL_INTERFACE_ID(winsim::d3d11::Texture2DFacet, IID_ID3D11Texture2D);
MORL_INTERFACE_ID(winsim::d3d11::DxgiResourceFacet, IID_IDXGIResource);

namespace winsim::d3d11 {

class Texture final : public ComObject<Texture2DFacet, DxgiResourceFacet, IDXGISurface> {
 public:
  Texture(ComRef<ID3D11Device> device, const D3D11_TEXTURE2D_DESC& desc);

  // The texture behind any interface of one of the simulation's textures,
  // or null (nothing is added to its count).
  static Texture* From(IUnknown* resource);

  ID3D11Device* device() const { return device_.Get(); }
  const D3D11_TEXTURE2D_DESC& desc() const { return desc_; }
  UINT row_pitch() const { return row_pitch_; }
  // The pixels to write: a texture whose pixels another still shares gets
  // its own copy first. Guarded by mutex().
  BYTE* bits();
  // The pixels to write over entirely: shared pixels are not copied first.
  BYTE* bits_to_overwrite();
  // The pixels to read, maybe shared with other textures. Guarded by mutex().
  const BYTE* read_bits() const { return bits_->data(); }
  // Gives this texture the pixels of `source`, of the same size and layout,
  // without copying them: the two share them until either is written. Both
  // mutexes must be held.
  void SharePixelsOf(const Texture& source) { bits_ = source.bits_; }
  // The pixels as they are, kept: the same while nothing writes the texture.
  std::shared_ptr<const void> pixels_version() const { return bits_; }
  std::mutex& mutex() { return mutex_; }
  // Whether a Map of it is open (guarded by mutex()).
  bool mapped() const { return mapped_; }
  void set_mapped(bool mapped) { mapped_ = mapped; }

  // ID3D11DeviceChild and IDXGIObject.
  void GetDevice(ID3D11Device** device) override;
  HRESULT GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateData(REFGUID, UINT, const void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateDataInterface(REFGUID, const IUnknown*) override { return E_NOTIMPL; }
  HRESULT GetParent(REFIID riid, void** parent) override;
  // ID3D11Resource and ID3D11Texture2D.
  void GetType(D3D11_RESOURCE_DIMENSION* dimension) override;
  UINT GetEvictionPriority() override { return 0; }
  void GetDesc(D3D11_TEXTURE2D_DESC* desc) override;
  // IDXGIDeviceSubObject, IDXGIResource and IDXGISurface.
  HRESULT GetDevice(REFIID riid, void** device) override;
  HRESULT GetSharedHandle(HANDLE*) override { return E_NOTIMPL; }
  HRESULT GetUsage(DXGI_USAGE*) override { return E_NOTIMPL; }
  HRESULT GetEvictionPriority(UINT*) override { return E_NOTIMPL; }
  HRESULT GetDesc(DXGI_SURFACE_DESC* desc) override;
  HRESULT Map(DXGI_MAPPED_RECT*, UINT) override { return E_NOTIMPL; }
  HRESULT Unmap() override { return E_NOTIMPL; }

 protected:
  void* FindInterface(REFIID riid) override;

 private:
  ComRef<ID3D11Device> device_;
  D3D11_TEXTURE2D_DESC desc_;
  UINT row_pitch_;
  // Copies of whole textures share their pixels until one of them is written
  // (copy on write): a copy on the GPU costs the processor nothing, and
  // 4K frames copied several times a frame would otherwise take the
  // simulation's thread longer than the frame lasts.
  std::shared_ptr<std::vector<BYTE>> bits_;
  std::mutex mutex_;
  bool mapped_ = false;
};

class RenderTargetView final : public ComObject<ID3D11RenderTargetView> {
 public:
  RenderTargetView(ComRef<ID3D11Texture2D> texture, const D3D11_RENDER_TARGET_VIEW_DESC& desc);

  Texture* texture() const { return Texture::From(texture_.Get()); }
  const D3D11_RENDER_TARGET_VIEW_DESC& desc() const { return desc_; }

  void GetDevice(ID3D11Device** device) override { texture_->GetDevice(device); }
  HRESULT GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateData(REFGUID, UINT, const void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateDataInterface(REFGUID, const IUnknown*) override { return E_NOTIMPL; }
  void GetResource(ID3D11Resource** resource) override;
  void GetDesc(D3D11_RENDER_TARGET_VIEW_DESC* desc) override;

 protected:
  void* FindInterface(REFIID riid) override;

 private:
  ComRef<ID3D11Texture2D> texture_;
  D3D11_RENDER_TARGET_VIEW_DESC desc_;
};

// CreateTexture2D's checks of a description and its initial data: S_OK, or
// the HRESULT the call fails with.
HRESULT CheckTextureDesc(const D3D11_TEXTURE2D_DESC& desc,
                         const D3D11_SUBRESOURCE_DATA* initial_data);
// Copies the caller's initial data into a new texture.
void FillTexture(Texture& texture, const D3D11_SUBRESOURCE_DATA& data);
// CreateRenderTargetView's checks; fills `view` with the view's description.
HRESULT CheckRenderTargetView(const Texture& texture, const D3D11_RENDER_TARGET_VIEW_DESC* desc,
                              D3D11_RENDER_TARGET_VIEW_DESC* view);

// The context's work, on textures of `device`.
void CopyWhole(ID3D11Device* device, Texture* dst, Texture* src);
void CopyRegion(ID3D11Device* device, Texture* dst, UINT dst_x, UINT dst_y, Texture* src,
                const D3D11_BOX* src_box);
void UpdateRegion(ID3D11Device* device, Texture* dst, const D3D11_BOX* dst_box, const void* data,
                  UINT row_pitch);
void ClearView(ID3D11Device* device, RenderTargetView* view, const FLOAT color[4]);
HRESULT MapTexture(ID3D11Device* device, Texture* texture, UINT subresource, D3D11_MAP map_type,
                   UINT map_flags, D3D11_MAPPED_SUBRESOURCE* mapped);
void UnmapTexture(ID3D11Device* device, Texture* texture, UINT subresource);

}  // namespace winsim::d3d11
