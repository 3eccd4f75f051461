// IMFAttributes for every simulated object that is an attribute store
// (attribute sets, media types, samples). Each typed setter and getter can be
// failed by name, e.g. "IMFAttributes::SetUINT32".
#pragma once

#include <cstring>

#include "mf/mf_attribute_store.h"
#include "win32sim/com.h"

namespace winsim {

// What every simulated attribute store shares, so Compare and CopyAllItems
// can see another store's items directly.
class AttributeHolder {
 public:
  AttributeStore& store() { return store_; }
  const AttributeStore& store() const { return store_; }

 protected:
  ~AttributeHolder() = default;

 private:
  AttributeStore store_;
};

HRESULT CopyAttributes(const AttributeStore& from, IMFAttributes* to);
// An empty attribute set for the simulation's own objects (a transform's
// attributes): MFCreateAttributes without its call count and failures.
IMFAttributes* NewAttributeStore();
HRESULT CompareAttributes(const AttributeStore& ours, IMFAttributes* theirs,
                          MF_ATTRIBUTES_MATCH_TYPE match, BOOL* result);

template <typename Interface>
class AttributesImpl : public ComObject<Interface>, public AttributeHolder {
 public:
  explicit AttributesImpl(const char* kind) : ComObject<Interface>(kind) {}

  HRESULT GetItem(REFGUID, PROPVARIANT*) override { return E_NOTIMPL; }
  HRESULT GetItemType(REFGUID key, MF_ATTRIBUTE_TYPE* type) override {
    if (type == nullptr) return E_POINTER;
    return store().Type(key, type);
  }
  HRESULT CompareItem(REFGUID, const PROPVARIANT&, BOOL*) override { return E_NOTIMPL; }
  HRESULT Compare(IMFAttributes* theirs, MF_ATTRIBUTES_MATCH_TYPE match, BOOL* result) override {
    return CompareAttributes(store(), theirs, match, result);
  }
  HRESULT GetUINT32(REFGUID key, UINT32* value) override {
    return Read("IMFAttributes::GetUINT32", key, value);
  }
  HRESULT GetUINT64(REFGUID key, UINT64* value) override {
    return Read("IMFAttributes::GetUINT64", key, value);
  }
  HRESULT GetDouble(REFGUID key, double* value) override {
    return Read("IMFAttributes::GetDouble", key, value);
  }
  HRESULT GetGUID(REFGUID key, GUID* value) override {
    return Read("IMFAttributes::GetGUID", key, value);
  }
  HRESULT GetStringLength(REFGUID key, UINT32* length) override {
    if (length == nullptr) return E_POINTER;
    std::wstring text;
    if (HRESULT hr = Read("IMFAttributes::GetStringLength", key, &text); FAILED(hr)) return hr;
    *length = static_cast<UINT32>(text.size());
    return S_OK;
  }
  HRESULT GetString(REFGUID key, LPWSTR buffer, UINT32 capacity, UINT32* length) override {
    if (buffer == nullptr) return E_POINTER;
    std::wstring text;
    if (HRESULT hr = Read("IMFAttributes::GetString", key, &text); FAILED(hr)) return hr;
    if (text.size() + 1 > capacity) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    if (length != nullptr) *length = static_cast<UINT32>(text.size());
    return S_OK;
  }
  HRESULT GetAllocatedString(REFGUID key, LPWSTR* out, UINT32* length) override {
    if (out == nullptr || length == nullptr) return E_POINTER;
    std::wstring text;
    if (HRESULT hr = Read("IMFAttributes::GetAllocatedString", key, &text); FAILED(hr)) return hr;
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    if (copy == nullptr) return E_OUTOFMEMORY;
    std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    *out = copy;
    *length = static_cast<UINT32>(text.size());
    return S_OK;
  }
  HRESULT GetBlobSize(REFGUID key, UINT32* size) override {
    if (size == nullptr) return E_POINTER;
    std::vector<UINT8> blob;
    if (HRESULT hr = store().Get(key, &blob); FAILED(hr)) return hr;
    *size = static_cast<UINT32>(blob.size());
    return S_OK;
  }
  HRESULT GetBlob(REFGUID key, UINT8* buffer, UINT32 capacity, UINT32* size) override {
    if (buffer == nullptr) return E_POINTER;
    std::vector<UINT8> blob;
    if (HRESULT hr = store().Get(key, &blob); FAILED(hr)) return hr;
    if (blob.size() > capacity) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    if (!blob.empty()) std::memcpy(buffer, blob.data(), blob.size());
    if (size != nullptr) *size = static_cast<UINT32>(blob.size());
    return S_OK;
  }
  HRESULT GetAllocatedBlob(REFGUID, UINT8**, UINT32*) override { return E_NOTIMPL; }
  HRESULT GetUnknown(REFGUID key, REFIID riid, LPVOID* out) override {
    if (out == nullptr) return E_POINTER;
    ComRef<IUnknown> unknown;
    if (HRESULT hr = store().Get(key, &unknown); FAILED(hr)) return hr;
    return unknown->QueryInterface(riid, out);
  }
  HRESULT SetItem(REFGUID, const PROPVARIANT&) override { return E_NOTIMPL; }
  HRESULT DeleteItem(REFGUID key) override { return store().Delete(key); }
  HRESULT DeleteAllItems() override {
    store().Clear();
    return S_OK;
  }
  HRESULT SetUINT32(REFGUID key, UINT32 value) override {
    return Write("IMFAttributes::SetUINT32", key, value);
  }
  HRESULT SetUINT64(REFGUID key, UINT64 value) override {
    return Write("IMFAttributes::SetUINT64", key, value);
  }
  HRESULT SetDouble(REFGUID key, double value) override {
    return Write("IMFAttributes::SetDouble", key, value);
  }
  HRESULT SetGUID(REFGUID key, REFGUID value) override {
    return Write("IMFAttributes::SetGUID", key, value);
  }
  HRESULT SetString(REFGUID key, LPCWSTR value) override {
    if (value == nullptr) return E_POINTER;
    return Write("IMFAttributes::SetString", key, std::wstring(value));
  }
  HRESULT SetBlob(REFGUID key, const UINT8* buffer, UINT32 size) override {
    if (buffer == nullptr && size != 0) return E_POINTER;
    return Write("IMFAttributes::SetBlob", key, std::vector<UINT8>(buffer, buffer + size));
  }
  HRESULT SetUnknown(REFGUID key, IUnknown* unknown) override {
    if (unknown == nullptr) return E_POINTER;
    return Write("IMFAttributes::SetUnknown", key, ComRef<IUnknown>::Share(unknown));
  }
  HRESULT LockStore() override {
    store().Lock();
    return S_OK;
  }
  HRESULT UnlockStore() override {
    store().Unlock();
    return S_OK;
  }
  HRESULT GetCount(UINT32* count) override {
    if (count == nullptr) return E_POINTER;
    *count = store().Count();
    return S_OK;
  }
  HRESULT GetItemByIndex(UINT32, GUID*, PROPVARIANT*) override { return E_NOTIMPL; }
  // The destination ends up holding exactly this store's items: what it
  // held before is deleted first.
  HRESULT CopyAllItems(IMFAttributes* destination) override {
    if (destination == nullptr) return E_POINTER;
    if (static_cast<IMFAttributes*>(this) == destination) return S_OK;
    if (HRESULT hr = destination->DeleteAllItems(); FAILED(hr)) return hr;
    return CopyAttributes(store(), destination);
  }

 protected:
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IMFAttributes) return static_cast<IMFAttributes*>(this);
    return ComObject<Interface>::FindInterface(riid);
  }

 private:
  template <typename T>
  HRESULT Read(const char* call, REFGUID key, T* value) {
    if (value == nullptr) return E_POINTER;
    if (HRESULT hr = InjectedFailure(call); FAILED(hr)) return hr;
    return store().Get(key, value);
  }
  HRESULT Write(const char* call, REFGUID key, AttributeStore::Value value) {
    if (HRESULT hr = InjectedFailure(call); FAILED(hr)) return hr;
    return store().Set(key, std::move(value));
  }
};

}  // namespace winsim
