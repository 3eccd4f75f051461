// DXGI's enumeration of the machine's graphics adapters and their outputs
// (the displays attached to the desktop), and the DXGI side of Direct3D 11's
// devices and textures, for the simulated machine. Methods the simulation
// does not implement answer E_NOTIMPL. The adapters, and the rules they
// follow, are described in platform/win32/src/dxgi/dxgi_machine.h.
#pragma once

#include <dxgiformat.h>
#include <windows.h>

// DXGI's HRESULTs (winerror.h on Windows).
constexpr HRESULT DXGI_ERROR_INVALID_CALL = static_cast<HRESULT>(0x887A0001u);
constexpr HRESULT DXGI_ERROR_NOT_FOUND = static_cast<HRESULT>(0x887A0002u);
constexpr HRESULT DXGI_ERROR_MORE_DATA = static_cast<HRESULT>(0x887A0003u);
constexpr HRESULT DXGI_ERROR_UNSUPPORTED = static_cast<HRESULT>(0x887A0004u);
constexpr HRESULT DXGI_ERROR_DEVICE_REMOVED = static_cast<HRESULT>(0x887A0005u);
constexpr HRESULT DXGI_ERROR_WAS_STILL_DRAWING = static_cast<HRESULT>(0x887A000Au);
constexpr HRESULT DXGI_ERROR_NOT_CURRENTLY_AVAILABLE = static_cast<HRESULT>(0x887A0022u);
constexpr HRESULT DXGI_ERROR_ACCESS_LOST = static_cast<HRESULT>(0x887A0026u);
constexpr HRESULT DXGI_ERROR_WAIT_TIMEOUT = static_cast<HRESULT>(0x887A0027u);
constexpr HRESULT DXGI_ERROR_SESSION_DISCONNECTED = static_cast<HRESULT>(0x887A0028u);
constexpr HRESULT DXGI_ERROR_SDK_COMPONENT_MISSING = static_cast<HRESULT>(0x887A002Du);

using DXGI_USAGE = UINT;
constexpr DXGI_USAGE DXGI_USAGE_SHADER_INPUT = 0x10;
constexpr DXGI_USAGE DXGI_USAGE_RENDER_TARGET_OUTPUT = 0x20;

constexpr UINT DXGI_MAP_READ = 1;
constexpr UINT DXGI_MAP_WRITE = 2;
constexpr UINT DXGI_MAP_DISCARD = 4;

struct DXGI_RATIONAL {
  UINT Numerator;
  UINT Denominator;
};

struct DXGI_SAMPLE_DESC {
  UINT Count;
  UINT Quality;
};

enum DXGI_MODE_SCANLINE_ORDER {
  DXGI_MODE_SCANLINE_ORDER_UNSPECIFIED = 0,
  DXGI_MODE_SCANLINE_ORDER_PROGRESSIVE = 1,
  DXGI_MODE_SCANLINE_ORDER_UPPER_FIELD_FIRST = 2,
  DXGI_MODE_SCANLINE_ORDER_LOWER_FIELD_FIRST = 3,
};

enum DXGI_MODE_SCALING {
  DXGI_MODE_SCALING_UNSPECIFIED = 0,
  DXGI_MODE_SCALING_CENTERED = 1,
  DXGI_MODE_SCALING_STRETCHED = 2,
};

struct DXGI_MODE_DESC {
  UINT Width;
  UINT Height;
  DXGI_RATIONAL RefreshRate;
  DXGI_FORMAT Format;
  DXGI_MODE_SCANLINE_ORDER ScanlineOrdering;
  DXGI_MODE_SCALING Scaling;
};

struct DXGI_SURFACE_DESC {
  UINT Width;
  UINT Height;
  DXGI_FORMAT Format;
  DXGI_SAMPLE_DESC SampleDesc;
};

struct DXGI_SHARED_RESOURCE {
  HANDLE Handle;
};

enum DXGI_RESIDENCY {
  DXGI_RESIDENCY_FULLY_RESIDENT = 1,
  DXGI_RESIDENCY_RESIDENT_IN_SHARED_MEMORY = 2,
  DXGI_RESIDENCY_EVICTED_TO_DISK = 3,
};

struct DXGI_MAPPED_RECT {
  INT Pitch;
  BYTE* pBits;
};

enum DXGI_MODE_ROTATION {
  DXGI_MODE_ROTATION_UNSPECIFIED = 0,
  DXGI_MODE_ROTATION_IDENTITY = 1,
  DXGI_MODE_ROTATION_ROTATE90 = 2,
  DXGI_MODE_ROTATION_ROTATE180 = 3,
  DXGI_MODE_ROTATION_ROTATE270 = 4,
};

enum DXGI_ADAPTER_FLAG {
  DXGI_ADAPTER_FLAG_NONE = 0,
  DXGI_ADAPTER_FLAG_REMOTE = 1,
  DXGI_ADAPTER_FLAG_SOFTWARE = 2,
  DXGI_ADAPTER_FLAG_FORCE_DWORD = static_cast<int>(0xffffffffu),
};

struct DXGI_ADAPTER_DESC {
  WCHAR Description[128];
  UINT VendorId;
  UINT DeviceId;
  UINT SubSysId;
  UINT Revision;
  SIZE_T DedicatedVideoMemory;
  SIZE_T DedicatedSystemMemory;
  SIZE_T SharedSystemMemory;
  LUID AdapterLuid;
};

struct DXGI_ADAPTER_DESC1 {
  WCHAR Description[128];
  UINT VendorId;
  UINT DeviceId;
  UINT SubSysId;
  UINT Revision;
  SIZE_T DedicatedVideoMemory;
  SIZE_T DedicatedSystemMemory;
  SIZE_T SharedSystemMemory;
  LUID AdapterLuid;
  UINT Flags;  // DXGI_ADAPTER_FLAG
};

struct DXGI_OUTPUT_DESC {
  WCHAR DeviceName[32];
  RECT DesktopCoordinates;
  BOOL AttachedToDesktop;
  DXGI_MODE_ROTATION Rotation;
  HMONITOR Monitor;
};

MORL_DEFINE_GUID(IID_IDXGIObject, 0xaec22fb8, 0x76f3, 0x4639, 0x9b, 0xe0, 0x28, 0xeb, 0x43, 0xa6,
                 0x7a, 0x2e);
MORL_DEFINE_GUID(IID_IDXGIOutput, 0xae02eedb, 0xc735, 0x4690, 0x8d, 0x52, 0x5a, 0x8d, 0xc2, 0x02,
                 0x13, 0xaa);
MORL_DEFINE_GUID(IID_IDXGIAdapter, 0x2411e7e1, 0x12ac, 0x4ccf, 0xbd, 0x14, 0x97, 0x98, 0xe8, 0x53,
                 0x4d, 0xc0);
MORL_DEFINE_GUID(IID_IDXGIAdapter1, 0x29038f61, 0x3839, 0x4626, 0x91, 0xfd, 0x08, 0x68, 0x79, 0x01,
                 0x1a, 0x05);
MORL_DEFINE_GUID(IID_IDXGIFactory, 0x7b7166ec, 0x21c7, 0x44ae, 0xb2, 0x1a, 0xc9, 0xae, 0x32, 0x1a,
                 0xe3, 0x69);
MORL_DEFINE_GUID(IID_IDXGIDeviceSubObject, 0x3d3e0379, 0xf9de, 0x4d58, 0xbb, 0x6c, 0x18, 0xd6, 0x29,
                 0x92, 0xf1, 0xa6);
MORL_DEFINE_GUID(IID_IDXGIResource, 0x035f3ab4, 0x482e, 0x4e50, 0xb4, 0x1f, 0x8a, 0x7f, 0x8b, 0xd8,
                 0x96, 0x0b);
MORL_DEFINE_GUID(IID_IDXGISurface, 0xcafcb56c, 0x6ac3, 0x4889, 0xbf, 0x47, 0x9e, 0x23, 0xbb, 0xd2,
                 0x60, 0xec);
MORL_DEFINE_GUID(IID_IDXGIDevice, 0x54ec77fa, 0x1377, 0x44e6, 0x8c, 0x32, 0x88, 0xfd, 0x5f, 0x44,
                 0xc8, 0x4c);
MORL_DEFINE_GUID(IID_IDXGIFactory1, 0x770aae78, 0xf26f, 0x4dba, 0xa8, 0x29, 0x25, 0x3c, 0x83, 0xd1,
                 0xb3, 0x87);

struct IDXGIObject : IUnknown {
  virtual HRESULT SetPrivateData(REFGUID name, UINT data_size, const void* data) = 0;
  virtual HRESULT SetPrivateDataInterface(REFGUID name, const IUnknown* unknown) = 0;
  virtual HRESULT GetPrivateData(REFGUID name, UINT* data_size, void* data) = 0;
  virtual HRESULT GetParent(REFIID riid, void** parent) = 0;

 protected:
  ~IDXGIObject() = default;
};
MORL_INTERFACE_ID(IDXGIObject, IID_IDXGIObject);

struct IDXGIOutput : IDXGIObject {
  virtual HRESULT GetDesc(DXGI_OUTPUT_DESC* desc) = 0;
  virtual HRESULT WaitForVBlank() = 0;
  virtual HRESULT ReleaseOwnership() = 0;

 protected:
  ~IDXGIOutput() = default;
};
MORL_INTERFACE_ID(IDXGIOutput, IID_IDXGIOutput);

struct IDXGIAdapter : IDXGIObject {
  virtual HRESULT EnumOutputs(UINT output, IDXGIOutput** out) = 0;
  virtual HRESULT GetDesc(DXGI_ADAPTER_DESC* desc) = 0;
  virtual HRESULT CheckInterfaceSupport(REFGUID guid, LARGE_INTEGER* umd_version) = 0;

 protected:
  ~IDXGIAdapter() = default;
};
MORL_INTERFACE_ID(IDXGIAdapter, IID_IDXGIAdapter);

struct IDXGIAdapter1 : IDXGIAdapter {
  virtual HRESULT GetDesc1(DXGI_ADAPTER_DESC1* desc) = 0;

 protected:
  ~IDXGIAdapter1() = default;
};
MORL_INTERFACE_ID(IDXGIAdapter1, IID_IDXGIAdapter1);

struct IDXGIFactory : IDXGIObject {
  virtual HRESULT EnumAdapters(UINT adapter, IDXGIAdapter** out) = 0;
  virtual HRESULT MakeWindowAssociation(HWND window, UINT flags) = 0;
  virtual HRESULT GetWindowAssociation(HWND* window) = 0;
  virtual HRESULT CreateSoftwareAdapter(HMODULE module, IDXGIAdapter** adapter) = 0;

 protected:
  ~IDXGIFactory() = default;
};
MORL_INTERFACE_ID(IDXGIFactory, IID_IDXGIFactory);

struct IDXGIFactory1 : IDXGIFactory {
  virtual HRESULT EnumAdapters1(UINT adapter, IDXGIAdapter1** out) = 0;
  virtual BOOL IsCurrent() = 0;

 protected:
  ~IDXGIFactory1() = default;
};
MORL_INTERFACE_ID(IDXGIFactory1, IID_IDXGIFactory1);

// A DXGI object that belongs to a device: a texture's surface or resource.
struct IDXGIDeviceSubObject : IDXGIObject {
  virtual HRESULT GetDevice(REFIID riid, void** device) = 0;

 protected:
  ~IDXGIDeviceSubObject() = default;
};
MORL_INTERFACE_ID(IDXGIDeviceSubObject, IID_IDXGIDeviceSubObject);

struct IDXGIResource : IDXGIDeviceSubObject {
  virtual HRESULT GetSharedHandle(HANDLE* shared_handle) = 0;
  virtual HRESULT GetUsage(DXGI_USAGE* usage) = 0;
  virtual HRESULT SetEvictionPriority(UINT eviction_priority) = 0;
  virtual HRESULT GetEvictionPriority(UINT* eviction_priority) = 0;

 protected:
  ~IDXGIResource() = default;
};
MORL_INTERFACE_ID(IDXGIResource, IID_IDXGIResource);

struct IDXGISurface : IDXGIDeviceSubObject {
  virtual HRESULT GetDesc(DXGI_SURFACE_DESC* desc) = 0;
  virtual HRESULT Map(DXGI_MAPPED_RECT* mapped_rect, UINT flags) = 0;
  virtual HRESULT Unmap() = 0;

 protected:
  ~IDXGISurface() = default;
};
MORL_INTERFACE_ID(IDXGISurface, IID_IDXGISurface);

// The DXGI side of a Direct3D device: the adapter it was made on. The
// methods after GetAdapter answer E_NOTIMPL.
struct IDXGIDevice : IDXGIObject {
  virtual HRESULT GetAdapter(IDXGIAdapter** adapter) = 0;
  virtual HRESULT CreateSurface(const DXGI_SURFACE_DESC* desc, UINT surface_count, DXGI_USAGE usage,
                                const DXGI_SHARED_RESOURCE* shared_resource,
                                IDXGISurface** surface) = 0;
  virtual HRESULT QueryResourceResidency(IUnknown* const* resources, DXGI_RESIDENCY* residency,
                                         UINT resource_count) = 0;
  virtual HRESULT SetGPUThreadPriority(INT priority) = 0;
  virtual HRESULT GetGPUThreadPriority(INT* priority) = 0;

 protected:
  ~IDXGIDevice() = default;
};
MORL_INTERFACE_ID(IDXGIDevice, IID_IDXGIDevice);

HRESULT CreateDXGIFactory1(REFIID riid, void** factory);
