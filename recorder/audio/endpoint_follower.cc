#include "recorder/audio/endpoint_follower.h"

#include <audioclient.h>

#include "recorder/audio/endpoint_lookup.h"
#include "recorder/audio/wasapi_capture.h"

namespace morl::recorder {

namespace {

// A lost capture looks for its device this often even without a
// notification, so a missed one costs at most this long.
constexpr std::int64_t kRetryTicks = 5'000'000;  // 0.5 s

}  // namespace

// Counts endpoint notifications; called on a thread of the system's.
class EndpointNotifications final : public IMMNotificationClient {
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
  ~EndpointNotifications() = default;
  HRESULT Changed() {
    ++count_;
    return S_OK;
  }

  std::atomic<ULONG> refs_{1};
  std::atomic<std::uint64_t> count_{0};
};

EndpointFollower::EndpointFollower(WasapiCapture& capture, WorkerFailure& failure,
                                   const char* lostText)
    : capture_(capture), failure_(failure), lostText_(lostText) {
  if (capture_.endpointId.empty()) return;  // never opened: nothing to follow
  if (FAILED(CreateDeviceEnumerator(enumerator_))) return;
  notifications_ = ComRef<EndpointNotifications>(new EndpointNotifications);
  if (FAILED(enumerator_->RegisterEndpointNotificationCallback(notifications_.Get()))) {
    notifications_.Reset();
  }
}

EndpointFollower::~EndpointFollower() {
  // The enumerator holds no reference to a registered client: it must be
  // unregistered before it goes.
  if (notifications_) enumerator_->UnregisterEndpointNotificationCallback(notifications_.Get());
}

void EndpointFollower::Step(std::int64_t now) {
  if (!enumerator_) return;
  if (FAILED(capture_.lostHr) && !lossReported_) {
    failure_.Record(lostText_, capture_.lostHr);
    lossReported_ = true;
  }
  const std::uint64_t count = notifications_ ? notifications_->count() : 0;
  const bool notified = count != seen_;
  const bool retry = !capture_.active && now >= nextRetry_;
  if (!notified && !retry) return;
  seen_ = count;
  nextRetry_ = now + kRetryTicks;
  std::wstring id;
  ComRef<IMMDevice> device = Wanted(id);
  if (!device) return;
  if (capture_.active && id == capture_.endpointId) return;
  Reopen(device.Get(), id);
}

ComRef<IMMDevice> EndpointFollower::Wanted(std::wstring& id) {
  const EDataFlow flow = capture_.isLoopback ? eRender : eCapture;
  ComRef<IMMDevice> device;
  if (capture_.followsDefault) {
    if (FAILED(enumerator_->GetDefaultAudioEndpoint(flow, eConsole, device.Put())) ||
        FAILED(EndpointId(device.Get(), id))) {
      return ComRef<IMMDevice>();
    }
    return device;
  }
  id = capture_.endpointId;
  if (FAILED(FindActiveEndpoint(enumerator_.Get(), flow, id, device.Put()))) {
    return ComRef<IMMDevice>();
  }
  return device;
}

void EndpointFollower::Reopen(IMMDevice* device, const std::wstring& id) {
  const bool followsDefault = capture_.followsDefault;
  const bool loopback = capture_.isLoopback;
  // A move away from a device that is no longer there is its loss, even
  // when the notification came before the capture noticed.
  ComRef<IMMDevice> old;
  if (capture_.active && !lossReported_ &&
      FAILED(FindActiveEndpoint(enumerator_.Get(), loopback ? eRender : eCapture,
                                capture_.endpointId, old.Put()))) {
    failure_.Record(lostText_, AUDCLNT_E_DEVICE_INVALIDATED);
    lossReported_ = true;
  }
  capture_.Reset();
  if (!capture_.Open(device, loopback)) capture_.Reset();
  // Reset forgets the endpoint; the capture stays on the one it belongs on,
  // to be tried again on the next change or retry when it could not open.
  capture_.endpointId = id;
  capture_.followsDefault = followsDefault;
  capture_.isLoopback = loopback;
}

}  // namespace morl::recorder
