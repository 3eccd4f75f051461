// Direct3D 11 for the simulated machine: a device on one of DXGI's adapters,
// its immediate context, two-dimensional textures held as pixel memory and
// render-target views of them, ID3D10Multithread (which the SDK's d3d11.h
// brings in through d3d10.h), and the video processor (win32sim/d3d11_video.h).
// Only the methods the product and Media Foundation use are declared, in the
// SDK's order, except for the video interfaces, declared whole; the rules the
// machine keeps are described in platform/win32/src/d3d11/d3d11_objects.h.
#pragma once

#include <d3dcommon.h>
#include <dxgi.h>

constexpr UINT D3D11_SDK_VERSION = 7;

enum D3D11_CREATE_DEVICE_FLAG {
  D3D11_CREATE_DEVICE_SINGLETHREADED = 0x1,
  D3D11_CREATE_DEVICE_DEBUG = 0x2,
  D3D11_CREATE_DEVICE_SWITCH_TO_REF = 0x4,
  D3D11_CREATE_DEVICE_PREVENT_INTERNAL_THREADING_OPTIMIZATIONS = 0x8,
  D3D11_CREATE_DEVICE_BGRA_SUPPORT = 0x20,
  D3D11_CREATE_DEVICE_DEBUGGABLE = 0x40,
  D3D11_CREATE_DEVICE_PREVENT_ALTERING_LAYER_SETTINGS_FROM_REGISTRY = 0x80,
  D3D11_CREATE_DEVICE_DISABLE_GPU_TIMEOUT = 0x100,
  D3D11_CREATE_DEVICE_VIDEO_SUPPORT = 0x800,
};

enum D3D11_USAGE {
  D3D11_USAGE_DEFAULT = 0,
  D3D11_USAGE_IMMUTABLE = 1,
  D3D11_USAGE_DYNAMIC = 2,
  D3D11_USAGE_STAGING = 3,
};

enum D3D11_BIND_FLAG {
  D3D11_BIND_VERTEX_BUFFER = 0x1,
  D3D11_BIND_INDEX_BUFFER = 0x2,
  D3D11_BIND_CONSTANT_BUFFER = 0x4,
  D3D11_BIND_SHADER_RESOURCE = 0x8,
  D3D11_BIND_STREAM_OUTPUT = 0x10,
  D3D11_BIND_RENDER_TARGET = 0x20,
  D3D11_BIND_DEPTH_STENCIL = 0x40,
  D3D11_BIND_UNORDERED_ACCESS = 0x80,
  D3D11_BIND_DECODER = 0x200,
  D3D11_BIND_VIDEO_ENCODER = 0x400,
};

enum D3D11_CPU_ACCESS_FLAG {
  D3D11_CPU_ACCESS_WRITE = 0x10000,
  D3D11_CPU_ACCESS_READ = 0x20000,
};

enum D3D11_RESOURCE_MISC_FLAG {
  D3D11_RESOURCE_MISC_GENERATE_MIPS = 0x1,
  D3D11_RESOURCE_MISC_SHARED = 0x2,
  D3D11_RESOURCE_MISC_TEXTURECUBE = 0x4,
  D3D11_RESOURCE_MISC_SHARED_KEYEDMUTEX = 0x100,
  D3D11_RESOURCE_MISC_GDI_COMPATIBLE = 0x200,
  D3D11_RESOURCE_MISC_SHARED_NTHANDLE = 0x800,
};

enum D3D11_MAP {
  D3D11_MAP_READ = 1,
  D3D11_MAP_WRITE = 2,
  D3D11_MAP_READ_WRITE = 3,
  D3D11_MAP_WRITE_DISCARD = 4,
  D3D11_MAP_WRITE_NO_OVERWRITE = 5,
};

enum D3D11_MAP_FLAG {
  D3D11_MAP_FLAG_DO_NOT_WAIT = 0x100000,
};

enum D3D11_RESOURCE_DIMENSION {
  D3D11_RESOURCE_DIMENSION_UNKNOWN = 0,
  D3D11_RESOURCE_DIMENSION_BUFFER = 1,
  D3D11_RESOURCE_DIMENSION_TEXTURE1D = 2,
  D3D11_RESOURCE_DIMENSION_TEXTURE2D = 3,
  D3D11_RESOURCE_DIMENSION_TEXTURE3D = 4,
};

enum D3D11_RTV_DIMENSION {
  D3D11_RTV_DIMENSION_UNKNOWN = 0,
  D3D11_RTV_DIMENSION_BUFFER = 1,
  D3D11_RTV_DIMENSION_TEXTURE1D = 2,
  D3D11_RTV_DIMENSION_TEXTURE1DARRAY = 3,
  D3D11_RTV_DIMENSION_TEXTURE2D = 4,
  D3D11_RTV_DIMENSION_TEXTURE2DARRAY = 5,
  D3D11_RTV_DIMENSION_TEXTURE2DMS = 6,
  D3D11_RTV_DIMENSION_TEXTURE2DMSARRAY = 7,
  D3D11_RTV_DIMENSION_TEXTURE3D = 8,
};

enum D3D11_FORMAT_SUPPORT {
  D3D11_FORMAT_SUPPORT_TEXTURE2D = 0x20,
  D3D11_FORMAT_SUPPORT_SHADER_LOAD = 0x100,
  D3D11_FORMAT_SUPPORT_SHADER_SAMPLE = 0x200,
  D3D11_FORMAT_SUPPORT_RENDER_TARGET = 0x4000,
  D3D11_FORMAT_SUPPORT_CPU_LOCKABLE = 0x20000,
  D3D11_FORMAT_SUPPORT_VIDEO_PROCESSOR_OUTPUT = 0x10000000,
  D3D11_FORMAT_SUPPORT_VIDEO_PROCESSOR_INPUT = 0x20000000,
  D3D11_FORMAT_SUPPORT_VIDEO_ENCODER = 0x40000000,
};

struct D3D11_TEXTURE2D_DESC {
  UINT Width;
  UINT Height;
  UINT MipLevels;
  UINT ArraySize;
  DXGI_FORMAT Format;
  DXGI_SAMPLE_DESC SampleDesc;
  D3D11_USAGE Usage;
  UINT BindFlags;
  UINT CPUAccessFlags;
  UINT MiscFlags;
};

struct D3D11_SUBRESOURCE_DATA {
  const void* pSysMem;
  UINT SysMemPitch;
  UINT SysMemSlicePitch;
};

struct D3D11_MAPPED_SUBRESOURCE {
  void* pData;
  UINT RowPitch;
  UINT DepthPitch;
};

struct D3D11_BOX {
  UINT left;
  UINT top;
  UINT front;
  UINT right;
  UINT bottom;
  UINT back;
};

struct D3D11_TEX2D_RTV {
  UINT MipSlice;
};

struct D3D11_TEX2D_ARRAY_RTV {
  UINT MipSlice;
  UINT FirstArraySlice;
  UINT ArraySize;
};

struct D3D11_RENDER_TARGET_VIEW_DESC {
  DXGI_FORMAT Format;
  D3D11_RTV_DIMENSION ViewDimension;
  union {
    D3D11_TEX2D_RTV Texture2D;
    D3D11_TEX2D_ARRAY_RTV Texture2DArray;
  };
};

MORL_DEFINE_GUID(IID_ID3D11DeviceChild, 0x1841e5c8, 0x16b0, 0x489b, 0xbc, 0xc8, 0x44, 0xcf, 0xb0,
                 0xd5, 0xde, 0xae);
MORL_DEFINE_GUID(IID_ID3D11Resource, 0xdc8e63f3, 0xd12b, 0x4952, 0xb4, 0x7b, 0x5e, 0x45, 0x02, 0x6a,
                 0x86, 0x2d);
MORL_DEFINE_GUID(IID_ID3D11View, 0x839d1216, 0xbb2e, 0x412b, 0xb7, 0xf4, 0xa9, 0xdb, 0xeb, 0xe0,
                 0x8e, 0xd1);
MORL_DEFINE_GUID(IID_ID3D11RenderTargetView, 0xdfdba067, 0x0b8d, 0x4865, 0x87, 0x5b, 0xd7, 0xb4,
                 0x51, 0x6c, 0xc1, 0x64);
MORL_DEFINE_GUID(IID_ID3D11Texture2D, 0x6f15aaf2, 0xd208, 0x4e89, 0x9a, 0xb4, 0x48, 0x95, 0x35,
                 0xd3, 0x4f, 0x9c);
MORL_DEFINE_GUID(IID_ID3D11DeviceContext, 0xc0bfa96c, 0xe089, 0x44fb, 0x8e, 0xaf, 0x26, 0xf8, 0x79,
                 0x61, 0x90, 0xda);
MORL_DEFINE_GUID(IID_ID3D11Device, 0xdb6f6ddb, 0xac77, 0x4e88, 0x82, 0x53, 0x81, 0x9d, 0xf9, 0xbb,
                 0xf1, 0x40);
MORL_DEFINE_GUID(IID_ID3D10Multithread, 0x9b7e4e00, 0x342c, 0x4106, 0xa1, 0x9f, 0x4f, 0x27, 0x04,
                 0xf6, 0x89, 0xf0);

struct ID3D11Device;

struct ID3D11DeviceChild : IUnknown {
  virtual void GetDevice(ID3D11Device** device) = 0;
  virtual HRESULT GetPrivateData(REFGUID guid, UINT* data_size, void* data) = 0;
  virtual HRESULT SetPrivateData(REFGUID guid, UINT data_size, const void* data) = 0;
  virtual HRESULT SetPrivateDataInterface(REFGUID guid, const IUnknown* data) = 0;

 protected:
  ~ID3D11DeviceChild() = default;
};
MORL_INTERFACE_ID(ID3D11DeviceChild, IID_ID3D11DeviceChild);

struct ID3D11Resource : ID3D11DeviceChild {
  virtual void GetType(D3D11_RESOURCE_DIMENSION* resource_dimension) = 0;
  virtual void SetEvictionPriority(UINT eviction_priority) = 0;
  virtual UINT GetEvictionPriority() = 0;

 protected:
  ~ID3D11Resource() = default;
};
MORL_INTERFACE_ID(ID3D11Resource, IID_ID3D11Resource);

struct ID3D11Texture2D : ID3D11Resource {
  virtual void GetDesc(D3D11_TEXTURE2D_DESC* desc) = 0;

 protected:
  ~ID3D11Texture2D() = default;
};
MORL_INTERFACE_ID(ID3D11Texture2D, IID_ID3D11Texture2D);

struct ID3D11View : ID3D11DeviceChild {
  virtual void GetResource(ID3D11Resource** resource) = 0;

 protected:
  ~ID3D11View() = default;
};
MORL_INTERFACE_ID(ID3D11View, IID_ID3D11View);

struct ID3D11RenderTargetView : ID3D11View {
  virtual void GetDesc(D3D11_RENDER_TARGET_VIEW_DESC* desc) = 0;

 protected:
  ~ID3D11RenderTargetView() = default;
};
MORL_INTERFACE_ID(ID3D11RenderTargetView, IID_ID3D11RenderTargetView);

struct ID3D11DeviceContext : ID3D11DeviceChild {
  virtual HRESULT Map(ID3D11Resource* resource, UINT subresource, D3D11_MAP map_type,
                      UINT map_flags, D3D11_MAPPED_SUBRESOURCE* mapped_resource) = 0;
  virtual void Unmap(ID3D11Resource* resource, UINT subresource) = 0;
  virtual void CopySubresourceRegion(ID3D11Resource* dst_resource, UINT dst_subresource, UINT dst_x,
                                     UINT dst_y, UINT dst_z, ID3D11Resource* src_resource,
                                     UINT src_subresource, const D3D11_BOX* src_box) = 0;
  virtual void CopyResource(ID3D11Resource* dst_resource, ID3D11Resource* src_resource) = 0;
  virtual void UpdateSubresource(ID3D11Resource* dst_resource, UINT dst_subresource,
                                 const D3D11_BOX* dst_box, const void* src_data, UINT src_row_pitch,
                                 UINT src_depth_pitch) = 0;
  virtual void ClearRenderTargetView(ID3D11RenderTargetView* render_target_view,
                                     const FLOAT color[4]) = 0;
  virtual void Flush() = 0;

 protected:
  ~ID3D11DeviceContext() = default;
};
MORL_INTERFACE_ID(ID3D11DeviceContext, IID_ID3D11DeviceContext);

struct ID3D11Device : IUnknown {
  virtual HRESULT CreateTexture2D(const D3D11_TEXTURE2D_DESC* desc,
                                  const D3D11_SUBRESOURCE_DATA* initial_data,
                                  ID3D11Texture2D** texture) = 0;
  virtual HRESULT CreateRenderTargetView(ID3D11Resource* resource,
                                         const D3D11_RENDER_TARGET_VIEW_DESC* desc,
                                         ID3D11RenderTargetView** view) = 0;
  virtual HRESULT CheckFormatSupport(DXGI_FORMAT format, UINT* format_support) = 0;
  virtual D3D_FEATURE_LEVEL GetFeatureLevel() = 0;
  virtual UINT GetCreationFlags() = 0;
  virtual HRESULT GetDeviceRemovedReason() = 0;
  virtual void GetImmediateContext(ID3D11DeviceContext** immediate_context) = 0;

 protected:
  ~ID3D11Device() = default;
};
MORL_INTERFACE_ID(ID3D11Device, IID_ID3D11Device);

// Serialises the device's use across threads once protection is on.
struct ID3D10Multithread : IUnknown {
  virtual void Enter() = 0;
  virtual void Leave() = 0;
  virtual BOOL SetMultithreadProtected(BOOL protect) = 0;
  virtual BOOL GetMultithreadProtected() = 0;

 protected:
  ~ID3D10Multithread() = default;
};
MORL_INTERFACE_ID(ID3D10Multithread, IID_ID3D10Multithread);

#include "win32sim/d3d11_video.h"

HRESULT D3D11CreateDevice(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driver_type, HMODULE software,
                          UINT flags, const D3D_FEATURE_LEVEL* feature_levels,
                          UINT feature_level_count, UINT sdk_version, ID3D11Device** device,
                          D3D_FEATURE_LEVEL* feature_level,
                          ID3D11DeviceContext** immediate_context);
