#include "recorder/audio/endpoint_notifications.h"

#include <atomic>

namespace morl::recorder {

// The registered client; called on a thread of the system's.
class EndpointNotifications::Client final : public IMMNotificationClient {
 public:
  std::uint64_t count() const { return count_.load(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMMNotificationClient) {
      *object = static_cast<IMMNotificationClient*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return Changed(); }
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return Changed(); }
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return Changed(); }
  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow, ERole, LPCWSTR) override {
    return Changed();
  }
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override {
    return S_OK;
  }

 private:
  ~Client() = default;
  HRESULT Changed() {
    ++count_;
    return S_OK;
  }

  std::atomic<ULONG> refs_{1};
  std::atomic<std::uint64_t> count_{0};
};

EndpointNotifications::EndpointNotifications(IMMDeviceEnumerator* enumerator) {
  if (enumerator == nullptr) return;
  client_ = new Client;
  if (FAILED(enumerator->RegisterEndpointNotificationCallback(client_))) {
    client_->Release();
    client_ = nullptr;
    return;
  }
  enumerator->AddRef();
  *enumerator_.Put() = enumerator;
}

EndpointNotifications::~EndpointNotifications() {
  if (client_ == nullptr) return;
  // The enumerator holds no reference to a registered client: it must be
  // unregistered before it goes.
  enumerator_->UnregisterEndpointNotificationCallback(client_);
  client_->Release();
}

std::uint64_t EndpointNotifications::count() const { return client_ ? client_->count() : 0; }

}  // namespace morl::recorder
