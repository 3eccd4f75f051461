// Media Foundation object interfaces of the simulated machine: attribute
// stores, media types, memory buffers and samples, and the DXGI device
// manager and the buffers over Direct3D 11 textures.
#pragma once

#include "win32sim/base.h"
#include "win32sim/com.h"

// Property values are defined by the property headers; attribute stores only
// pass them by reference.
struct tagPROPVARIANT;
typedef struct tagPROPVARIANT PROPVARIANT;

enum MF_ATTRIBUTE_TYPE : UINT32 {
  MF_ATTRIBUTE_UINT32 = 19,         // VT_UI4
  MF_ATTRIBUTE_UINT64 = 21,         // VT_UI8
  MF_ATTRIBUTE_DOUBLE = 5,          // VT_R8
  MF_ATTRIBUTE_GUID = 72,           // VT_CLSID
  MF_ATTRIBUTE_STRING = 31,         // VT_LPWSTR
  MF_ATTRIBUTE_BLOB = 0x1000 | 17,  // VT_VECTOR | VT_UI1
  MF_ATTRIBUTE_IUNKNOWN = 13,       // VT_UNKNOWN
};

enum MF_ATTRIBUTES_MATCH_TYPE : UINT32 {
  MF_ATTRIBUTES_MATCH_OUR_ITEMS = 0,
  MF_ATTRIBUTES_MATCH_THEIR_ITEMS = 1,
  MF_ATTRIBUTES_MATCH_ALL_ITEMS = 2,
  MF_ATTRIBUTES_MATCH_INTERSECTION = 3,
  MF_ATTRIBUTES_MATCH_SMALLER = 4,
};

enum MFVideoInterlaceMode : UINT32 {
  MFVideoInterlace_Unknown = 0,
  MFVideoInterlace_Progressive = 2,
};

struct IMFAttributes : public IUnknown {
  virtual HRESULT GetItem(REFGUID guidKey, PROPVARIANT* pValue) = 0;
  virtual HRESULT GetItemType(REFGUID guidKey, MF_ATTRIBUTE_TYPE* pType) = 0;
  virtual HRESULT CompareItem(REFGUID guidKey, const PROPVARIANT& Value, BOOL* pbResult) = 0;
  virtual HRESULT Compare(IMFAttributes* pTheirs, MF_ATTRIBUTES_MATCH_TYPE MatchType,
                          BOOL* pbResult) = 0;
  virtual HRESULT GetUINT32(REFGUID guidKey, UINT32* punValue) = 0;
  virtual HRESULT GetUINT64(REFGUID guidKey, UINT64* punValue) = 0;
  virtual HRESULT GetDouble(REFGUID guidKey, double* pfValue) = 0;
  virtual HRESULT GetGUID(REFGUID guidKey, GUID* pguidValue) = 0;
  virtual HRESULT GetStringLength(REFGUID guidKey, UINT32* pcchLength) = 0;
  virtual HRESULT GetString(REFGUID guidKey, LPWSTR pwszValue, UINT32 cchBufSize,
                            UINT32* pcchLength) = 0;
  virtual HRESULT GetAllocatedString(REFGUID guidKey, LPWSTR* ppwszValue, UINT32* pcchLength) = 0;
  virtual HRESULT GetBlobSize(REFGUID guidKey, UINT32* pcbBlobSize) = 0;
  virtual HRESULT GetBlob(REFGUID guidKey, UINT8* pBuf, UINT32 cbBufSize, UINT32* pcbBlobSize) = 0;
  virtual HRESULT GetAllocatedBlob(REFGUID guidKey, UINT8** ppBuf, UINT32* pcbSize) = 0;
  virtual HRESULT GetUnknown(REFGUID guidKey, REFIID riid, LPVOID* ppv) = 0;
  virtual HRESULT SetItem(REFGUID guidKey, const PROPVARIANT& Value) = 0;
  virtual HRESULT DeleteItem(REFGUID guidKey) = 0;
  virtual HRESULT DeleteAllItems() = 0;
  virtual HRESULT SetUINT32(REFGUID guidKey, UINT32 unValue) = 0;
  virtual HRESULT SetUINT64(REFGUID guidKey, UINT64 unValue) = 0;
  virtual HRESULT SetDouble(REFGUID guidKey, double fValue) = 0;
  virtual HRESULT SetGUID(REFGUID guidKey, REFGUID guidValue) = 0;
  virtual HRESULT SetString(REFGUID guidKey, LPCWSTR wszValue) = 0;
  virtual HRESULT SetBlob(REFGUID guidKey, const UINT8* pBuf, UINT32 cbBufSize) = 0;
  virtual HRESULT SetUnknown(REFGUID guidKey, IUnknown* pUnknown) = 0;
  virtual HRESULT LockStore() = 0;
  virtual HRESULT UnlockStore() = 0;
  virtual HRESULT GetCount(UINT32* pcItems) = 0;
  virtual HRESULT GetItemByIndex(UINT32 unIndex, GUID* pguidKey, PROPVARIANT* pValue) = 0;
  virtual HRESULT CopyAllItems(IMFAttributes* pDest) = 0;

 protected:
  ~IMFAttributes() = default;
};

struct IMFMediaType : public IMFAttributes {
  virtual HRESULT GetMajorType(GUID* pguidMajorType) = 0;
  virtual HRESULT IsCompressedFormat(BOOL* pfCompressed) = 0;
  virtual HRESULT IsEqual(IMFMediaType* pIMediaType, DWORD* pdwFlags) = 0;
  virtual HRESULT GetRepresentation(GUID guidRepresentation, LPVOID* ppvRepresentation) = 0;
  virtual HRESULT FreeRepresentation(GUID guidRepresentation, LPVOID pvRepresentation) = 0;

 protected:
  ~IMFMediaType() = default;
};

struct IMFMediaBuffer : public IUnknown {
  virtual HRESULT Lock(BYTE** ppbBuffer, DWORD* pcbMaxLength, DWORD* pcbCurrentLength) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetCurrentLength(DWORD* pcbCurrentLength) = 0;
  virtual HRESULT SetCurrentLength(DWORD cbCurrentLength) = 0;
  virtual HRESULT GetMaxLength(DWORD* pcbMaxLength) = 0;

 protected:
  ~IMFMediaBuffer() = default;
};

struct IMFSample : public IMFAttributes {
  virtual HRESULT GetSampleFlags(DWORD* pdwSampleFlags) = 0;
  virtual HRESULT SetSampleFlags(DWORD dwSampleFlags) = 0;
  virtual HRESULT GetSampleTime(LONGLONG* phnsSampleTime) = 0;
  virtual HRESULT SetSampleTime(LONGLONG hnsSampleTime) = 0;
  virtual HRESULT GetSampleDuration(LONGLONG* phnsSampleDuration) = 0;
  virtual HRESULT SetSampleDuration(LONGLONG hnsSampleDuration) = 0;
  virtual HRESULT GetBufferCount(DWORD* pdwBufferCount) = 0;
  virtual HRESULT GetBufferByIndex(DWORD dwIndex, IMFMediaBuffer** ppBuffer) = 0;
  virtual HRESULT ConvertToContiguousBuffer(IMFMediaBuffer** ppBuffer) = 0;
  virtual HRESULT AddBuffer(IMFMediaBuffer* pBuffer) = 0;
  virtual HRESULT RemoveBufferByIndex(DWORD dwIndex) = 0;
  virtual HRESULT RemoveAllBuffers() = 0;
  virtual HRESULT GetTotalLength(DWORD* pcbTotalLength) = 0;
  virtual HRESULT CopyToBuffer(IMFMediaBuffer* pBuffer) = 0;

 protected:
  ~IMFSample() = default;
};

MORL_DEFINE_GUID(IID_IMFAttributes, 0x2cd2d921, 0xc447, 0x44a7, 0xa1, 0x3c, 0x4a, 0xda, 0xbf, 0xc2,
                 0x47, 0xe3);
MORL_DEFINE_GUID(IID_IMFMediaType, 0x44ae0fa8, 0xea31, 0x4109, 0x8d, 0x2e, 0x4c, 0xae, 0x49, 0x97,
                 0xc5, 0x55);
MORL_DEFINE_GUID(IID_IMFMediaBuffer, 0x045fa593, 0x8799, 0x42b8, 0xbc, 0x8d, 0x89, 0x68, 0xc6, 0x45,
                 0x35, 0x07);
MORL_DEFINE_GUID(IID_IMFSample, 0xc40a00f2, 0xb93a, 0x4d80, 0xae, 0x8c, 0x5a, 0x1c, 0x63, 0x4f,
                 0x58, 0xe4);
MORL_INTERFACE_ID(IMFAttributes, IID_IMFAttributes);
MORL_INTERFACE_ID(IMFMediaType, IID_IMFMediaType);
MORL_INTERFACE_ID(IMFMediaBuffer, IID_IMFMediaBuffer);
MORL_INTERFACE_ID(IMFSample, IID_IMFSample);

// A buffer over a two-dimensional picture: Lock2D gives its first row and
// the bytes from one row to the next (negative: bottom-up).
struct IMF2DBuffer : public IUnknown {
  virtual HRESULT Lock2D(BYTE** ppbScanline0, LONG* plPitch) = 0;
  virtual HRESULT Unlock2D() = 0;
  virtual HRESULT GetScanline0AndPitch(BYTE** pbScanline0, LONG* plPitch) = 0;
  virtual HRESULT IsContiguousFormat(BOOL* pfIsContiguous) = 0;
  virtual HRESULT GetContiguousLength(DWORD* pcbLength) = 0;
  virtual HRESULT ContiguousCopyTo(BYTE* pbDestBuffer, DWORD cbDestBuffer) = 0;
  virtual HRESULT ContiguousCopyFrom(const BYTE* pbSrcBuffer, DWORD cbSrcBuffer) = 0;

 protected:
  ~IMF2DBuffer() = default;
};

// A buffer over a DXGI surface (a Direct3D 11 texture).
struct IMFDXGIBuffer : public IUnknown {
  virtual HRESULT GetResource(REFIID riid, LPVOID* ppvObject) = 0;
  virtual HRESULT GetSubresourceIndex(UINT* puSubresource) = 0;
  virtual HRESULT GetUnknown(REFIID guid, REFIID riid, LPVOID* ppvObject) = 0;
  virtual HRESULT SetUnknown(REFIID guid, IUnknown* pUnkData) = 0;

 protected:
  ~IMFDXGIBuffer() = default;
};

// Shares one Direct3D 11 device between threads: handles to it, and a lock.
struct IMFDXGIDeviceManager : public IUnknown {
  virtual HRESULT CloseDeviceHandle(HANDLE hDevice) = 0;
  virtual HRESULT GetVideoService(HANDLE hDevice, REFIID riid, void** ppService) = 0;
  virtual HRESULT LockDevice(HANDLE hDevice, REFIID riid, void** ppUnkDevice, BOOL fBlock) = 0;
  virtual HRESULT OpenDeviceHandle(HANDLE* phDevice) = 0;
  virtual HRESULT ResetDevice(IUnknown* pUnkDevice, UINT resetToken) = 0;
  virtual HRESULT TestDevice(HANDLE hDevice) = 0;
  virtual HRESULT UnlockDevice(HANDLE hDevice, BOOL fSaveState) = 0;

 protected:
  ~IMFDXGIDeviceManager() = default;
};

MORL_DEFINE_GUID(IID_IMF2DBuffer, 0x7dc9d5f9, 0x9ed9, 0x44ec, 0x9b, 0xbf, 0x06, 0x00, 0xbb, 0x58,
                 0x9f, 0xbb);
MORL_DEFINE_GUID(IID_IMFDXGIBuffer, 0xe7174cfa, 0x1c9e, 0x48b1, 0x88, 0x66, 0x62, 0x62, 0x26, 0xbf,
                 0xc2, 0x58);
MORL_DEFINE_GUID(IID_IMFDXGIDeviceManager, 0xeb533d5d, 0x2db6, 0x40f8, 0x97, 0xa9, 0x49, 0x46, 0x92,
                 0x01, 0x4f, 0x07);
MORL_INTERFACE_ID(IMF2DBuffer, IID_IMF2DBuffer);
MORL_INTERFACE_ID(IMFDXGIBuffer, IID_IMFDXGIBuffer);
MORL_INTERFACE_ID(IMFDXGIDeviceManager, IID_IMFDXGIDeviceManager);
