#include "recorder/audio/endpoint_follower.h"

#include <audioclient.h>

#include "recorder/audio/endpoint_lookup.h"
#include "recorder/audio/endpoint_notifications.h"
#include "recorder/audio/mix_source.h"
#include "recorder/audio/render_keep_alive.h"

namespace morl::recorder {

namespace {

// A lost capture looks for its device this often even without a
// notification, so a missed one costs at most this long.
constexpr std::int64_t kRetryTicks = 5'000'000;  // 0.5 s

}  // namespace

EndpointFollower::EndpointFollower(MixSource& capture, WorkerFailure& failure, const char* lostText,
                                   RenderKeepAlive* keepAlive)
    : capture_(capture), failure_(failure), lostText_(lostText), keepAlive_(keepAlive) {
  if (capture_.endpoint.endpointId().empty()) return;  // never opened: nothing to follow
  if (FAILED(CreateDeviceEnumerator(enumerator_))) return;
  notifications_ = std::make_unique<EndpointNotifications>(enumerator_.Get());
  ComRef<IMMDevice> device;
  if (keepAlive_ && SUCCEEDED(FindActiveEndpoint(enumerator_.Get(), eRender,
                                                 capture_.endpoint.endpointId(), device.Put()))) {
    FollowWithKeepAlive(device.Get());
  }
}

void EndpointFollower::FollowWithKeepAlive(IMMDevice* device) {
  if (!keepAlive_) return;
  if (capture_.endpoint.active()) {
    keepAlive_->Open(device, capture_.endpoint.endpointId());
  } else {
    keepAlive_->Close();
  }
}

EndpointFollower::~EndpointFollower() = default;

void EndpointFollower::Step(std::int64_t now) {
  if (!enumerator_) return;
  if (FAILED(capture_.endpoint.lostHr()) && !lossReported_) {
    failure_.Record(lostText_, capture_.endpoint.lostHr());
    lossReported_ = true;
  }
  const std::uint64_t count = notifications_->count();
  const bool notified = count != seen_;
  const bool retry = !capture_.endpoint.active() && now >= nextRetry_;
  if (!notified && !retry) return;
  seen_ = count;
  nextRetry_ = now + kRetryTicks;
  std::wstring id;
  ComRef<IMMDevice> device = Wanted(id);
  if (!device) return;
  if (capture_.endpoint.active() && id == capture_.endpoint.endpointId()) return;
  Reopen(device.Get(), id);
}

ComRef<IMMDevice> EndpointFollower::Wanted(std::wstring& id) {
  const EDataFlow flow = capture_.endpoint.loopback() ? eRender : eCapture;
  ComRef<IMMDevice> device;
  if (capture_.endpoint.followsDefault()) {
    if (FAILED(enumerator_->GetDefaultAudioEndpoint(flow, eConsole, device.Put())) ||
        FAILED(EndpointId(device.Get(), id))) {
      return ComRef<IMMDevice>();
    }
    return device;
  }
  id = capture_.endpoint.endpointId();
  if (FAILED(FindActiveEndpoint(enumerator_.Get(), flow, id, device.Put()))) {
    return ComRef<IMMDevice>();
  }
  return device;
}

void EndpointFollower::Reopen(IMMDevice* device, const std::wstring& id) {
  const bool followsDefault = capture_.endpoint.followsDefault();
  const bool loopback = capture_.endpoint.loopback();
  // A move away from a device that is no longer there is its loss, even
  // when the notification came before the capture noticed.
  ComRef<IMMDevice> old;
  if (capture_.endpoint.active() && !lossReported_ &&
      FAILED(FindActiveEndpoint(enumerator_.Get(), loopback ? eRender : eCapture,
                                capture_.endpoint.endpointId(), old.Put()))) {
    failure_.Record(lostText_, AUDCLNT_E_DEVICE_INVALIDATED);
    lossReported_ = true;
  }
  capture_.Reset();
  if (!capture_.Open(device, loopback)) capture_.Reset();
  // Reset forgets the endpoint; the capture stays on the one it belongs on,
  // to be tried again on the next change or retry when it could not open.
  capture_.endpoint.Aim(id, loopback, followsDefault);
  FollowWithKeepAlive(device);
}

}  // namespace morl::recorder
