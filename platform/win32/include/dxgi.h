// DXGI's enumeration of the machine's graphics adapters and their outputs
// (the displays attached to the desktop), for the simulated machine. Only
// enumeration and descriptions are implemented; the other methods of these
// interfaces answer E_NOTIMPL. The adapters, and the rules they follow, are
// described in platform/win32/src/dxgi/dxgi_machine.h.
#pragma once

#include <windows.h>

// DXGI's HRESULTs (winerror.h on Windows).
constexpr HRESULT DXGI_ERROR_INVALID_CALL = static_cast<HRESULT>(0x887A0001u);
constexpr HRESULT DXGI_ERROR_NOT_FOUND = static_cast<HRESULT>(0x887A0002u);

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

HRESULT CreateDXGIFactory1(REFIID riid, void** factory);
