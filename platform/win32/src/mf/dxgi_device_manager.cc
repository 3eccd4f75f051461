// MFCreateDXGIDeviceManager and the DXGI device manager of the simulated
// machine. The rules it holds callers to ("IMFDXGIDeviceManager" methods):
//  - ResetDevice takes a Direct3D 11 device (one that answers ID3D11Device)
//    and the token MFCreateDXGIDeviceManager gave; a wrong token, no device
//    or another object: E_INVALIDARG. It makes every open handle stale and
//    ends a lock.
//  - Before the first ResetDevice, OpenDeviceHandle, GetVideoService and
//    LockDevice give MF_E_DXGI_DEVICE_NOT_INITIALIZED.
//  - A handle the manager did not open (or closed): E_HANDLE. A stale
//    handle: MF_E_DXGI_NEW_VIDEO_DEVICE from TestDevice, GetVideoService and
//    LockDevice; CloseDeviceHandle still closes it.
//  - LockDevice gives the device (QueryInterface for `riid`) to one handle
//    at a time: while another handle holds it, fBlock FALSE gives
//    MF_E_DXGI_VIDEO_DEVICE_LOCKED and TRUE waits for UnlockDevice. The
//    handle that holds it locking again would wait for itself forever on
//    Windows; here it gets MF_E_DXGI_VIDEO_DEVICE_LOCKED.
//  - UnlockDevice by a handle that does not hold the lock: E_INVALIDARG
//    (the page names no code). Closing the holding handle unlocks.
//  - GetVideoService asks the device for `riid`: ID3D11VideoDevice is there
//    only where the device offers video processing (E_NOINTERFACE on the
//    basic render driver, as the page says, or with "video_processor"
//    false).
// Counted live as "com:IMFDXGIDeviceManager"; each call can be failed by
// name ("IMFDXGIDeviceManager::LockDevice").
#include <d3d11.h>
#include <mfapi.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>

#include "com/com_ref.h"
#include "win32sim/com.h"

namespace winsim {
namespace {

class DeviceManager final : public ComObject<IMFDXGIDeviceManager> {
 public:
  explicit DeviceManager(UINT token)
      : ComObject<IMFDXGIDeviceManager>("IMFDXGIDeviceManager"), token_(token) {}

  HRESULT ResetDevice(IUnknown* device, UINT token) override {
    if (HRESULT hr = InjectedFailure("IMFDXGIDeviceManager::ResetDevice"); FAILED(hr)) return hr;
    if (device == nullptr || token != token_) return E_INVALIDARG;
    ID3D11Device* d3d = nullptr;
    if (FAILED(device->QueryInterface(IID_ID3D11Device, reinterpret_cast<void**>(&d3d)))) {
      return E_INVALIDARG;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    device_ = ComRef<IUnknown>(d3d);
    ++generation_;
    holder_ = nullptr;
    unlocked_.notify_all();
    return S_OK;
  }
  HRESULT OpenDeviceHandle(HANDLE* handle) override {
    if (handle == nullptr) return E_POINTER;
    *handle = nullptr;
    if (HRESULT hr = InjectedFailure("IMFDXGIDeviceManager::OpenDeviceHandle"); FAILED(hr)) {
      return hr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!device_) return MF_E_DXGI_DEVICE_NOT_INITIALIZED;
    *handle = reinterpret_cast<HANDLE>(++last_handle_);
    handles_[*handle] = generation_;
    return S_OK;
  }
  HRESULT CloseDeviceHandle(HANDLE handle) override {
    if (HRESULT hr = InjectedFailure("IMFDXGIDeviceManager::CloseDeviceHandle"); FAILED(hr)) {
      return hr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (handles_.erase(handle) == 0) return E_HANDLE;
    if (holder_ == handle) Unlock();
    return S_OK;
  }
  HRESULT TestDevice(HANDLE handle) override {
    if (HRESULT hr = InjectedFailure("IMFDXGIDeviceManager::TestDevice"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    return Check(handle);
  }
  HRESULT GetVideoService(HANDLE handle, REFIID riid, void** service) override {
    if (service == nullptr) return E_POINTER;
    *service = nullptr;
    if (HRESULT hr = InjectedFailure("IMFDXGIDeviceManager::GetVideoService"); FAILED(hr)) {
      return hr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!device_) return MF_E_DXGI_DEVICE_NOT_INITIALIZED;
    if (HRESULT hr = Check(handle); FAILED(hr)) return hr;
    return device_->QueryInterface(riid, service);
  }
  HRESULT LockDevice(HANDLE handle, REFIID riid, void** device, BOOL block) override {
    if (device == nullptr) return E_POINTER;
    *device = nullptr;
    if (HRESULT hr = InjectedFailure("IMFDXGIDeviceManager::LockDevice"); FAILED(hr)) return hr;
    std::unique_lock<std::mutex> lock(mutex_);
    if (!device_) return MF_E_DXGI_DEVICE_NOT_INITIALIZED;
    for (;;) {
      if (HRESULT hr = Check(handle); FAILED(hr)) return hr;
      if (holder_ == nullptr) break;
      if (holder_ == handle || !block) return MF_E_DXGI_VIDEO_DEVICE_LOCKED;
      unlocked_.wait(lock);
    }
    if (HRESULT hr = device_->QueryInterface(riid, device); FAILED(hr)) return hr;
    holder_ = handle;
    return S_OK;
  }
  HRESULT UnlockDevice(HANDLE handle, BOOL /*save_state*/) override {
    if (HRESULT hr = InjectedFailure("IMFDXGIDeviceManager::UnlockDevice"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (handles_.count(handle) == 0) return E_HANDLE;
    if (holder_ != handle) return E_INVALIDARG;
    Unlock();
    return S_OK;
  }

 private:
  // S_OK for an open handle of the current device.
  HRESULT Check(HANDLE handle) const {
    const auto it = handles_.find(handle);
    if (it == handles_.end()) return E_HANDLE;
    return it->second == generation_ ? S_OK : MF_E_DXGI_NEW_VIDEO_DEVICE;
  }
  void Unlock() {
    holder_ = nullptr;
    unlocked_.notify_all();
  }

  const UINT token_;
  std::mutex mutex_;
  std::condition_variable unlocked_;
  ComRef<IUnknown> device_;
  std::uint64_t generation_ = 0;
  std::uintptr_t last_handle_ = 0;
  std::map<HANDLE, std::uint64_t> handles_;  // open handles and the device generation they saw
  HANDLE holder_ = nullptr;                  // the handle that holds the lock
};

// Tokens differ from manager to manager, so one manager's token does not
// reset another's device.
UINT NextToken() {
  static std::atomic<UINT> last{0x5EED0000u};
  return ++last;
}

}  // namespace
}  // namespace winsim

HRESULT MFCreateDXGIDeviceManager(UINT* resetToken, IMFDXGIDeviceManager** ppDeviceManager) {
  if (ppDeviceManager != nullptr) *ppDeviceManager = nullptr;
  if (resetToken == nullptr || ppDeviceManager == nullptr) return E_POINTER;
  if (HRESULT hr = winsim::InjectedFailure("MFCreateDXGIDeviceManager"); FAILED(hr)) return hr;
  *resetToken = winsim::NextToken();
  *ppDeviceManager = new winsim::DeviceManager(*resetToken);
  return S_OK;
}
