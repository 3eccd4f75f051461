#include <memory>

#include "mfapi.h"

namespace winsim {
namespace {

// A contiguous block of system memory. Lock/Unlock nest as on Windows; the
// memory is zeroed so an unwritten frame reads as black, deterministically.
class MemoryBuffer final : public ComObject<IMFMediaBuffer> {
 public:
  explicit MemoryBuffer(DWORD capacity)
      : ComObject<IMFMediaBuffer>("IMFMediaBuffer"),
        capacity_(capacity),
        bytes_(new BYTE[capacity == 0 ? 1 : capacity]()) {}

  HRESULT Lock(BYTE** data, DWORD* max_length, DWORD* current_length) override {
    if (data == nullptr) return E_POINTER;
    if (HRESULT hr = InjectedFailure("IMFMediaBuffer::Lock"); FAILED(hr)) return hr;
    ++locks_;
    *data = bytes_.get();
    if (max_length != nullptr) *max_length = capacity_;
    if (current_length != nullptr) *current_length = length_;
    return S_OK;
  }
  HRESULT Unlock() override {
    if (locks_ == 0) return MF_E_INVALIDREQUEST;
    --locks_;
    return S_OK;
  }
  HRESULT GetCurrentLength(DWORD* length) override {
    if (length == nullptr) return E_POINTER;
    *length = length_;
    return S_OK;
  }
  HRESULT SetCurrentLength(DWORD length) override {
    if (HRESULT hr = InjectedFailure("IMFMediaBuffer::SetCurrentLength"); FAILED(hr)) return hr;
    if (length > capacity_) return E_INVALIDARG;
    length_ = length;
    return S_OK;
  }
  HRESULT GetMaxLength(DWORD* max_length) override {
    if (max_length == nullptr) return E_POINTER;
    *max_length = capacity_;
    return S_OK;
  }

 private:
  const DWORD capacity_;
  DWORD length_ = 0;
  int locks_ = 0;
  std::unique_ptr<BYTE[]> bytes_;
};

}  // namespace
}  // namespace winsim

HRESULT MFCreateMemoryBuffer(DWORD cbMaxLength, IMFMediaBuffer** ppBuffer) {
  if (ppBuffer == nullptr) return E_POINTER;
  *ppBuffer = nullptr;
  if (HRESULT hr = winsim::InjectedFailure("MFCreateMemoryBuffer"); FAILED(hr)) return hr;
  *ppBuffer = new winsim::MemoryBuffer(cbMaxLength);
  return S_OK;
}
