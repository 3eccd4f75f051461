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

EndpointFollower::EndpointFollower(MixSource& capture, WorkerFailure& failure, const char* lost_text,
                                   RenderKeepAlive* keep_alive)
    : capture_(capture), failure_(failure), lost_text_(lost_text), keep_alive_(keep_alive) {
  if (capture_.endpoint.endpoint_id().empty()) return;  // never opened: nothing to follow
  if (FAILED(CreateDeviceEnumerator(enumerator_))) return;
  notifications_ = std::make_unique<EndpointNotifications>(enumerator_.Get());
  ComRef<IMMDevice> device;
  if (keep_alive_ && SUCCEEDED(FindActiveEndpoint(enumerator_.Get(), eRender,
                                                 capture_.endpoint.endpoint_id(), device.Put()))) {
    FollowWithKeepAlive(device.Get());
  }
}

void EndpointFollower::FollowWithKeepAlive(IMMDevice* device) {
  if (!keep_alive_) return;
  if (capture_.endpoint.active()) {
    keep_alive_->Open(device);
  } else {
    keep_alive_->Close();
  }
}

EndpointFollower::~EndpointFollower() = default;

void EndpointFollower::Step(std::int64_t now) {
  if (!enumerator_) return;
  if (FAILED(capture_.endpoint.lost_hr()) && !loss_reported_) {
    failure_.Record(lost_text_, capture_.endpoint.lost_hr());
    loss_reported_ = true;
  }
  const std::uint64_t count = notifications_->count();
  const bool notified = count != seen_;
  const bool retry = !capture_.endpoint.active() && now >= next_retry_;
  if (!notified && !retry) return;
  seen_ = count;
  next_retry_ = now + kRetryTicks;
  std::wstring id;
  ComRef<IMMDevice> device = Wanted(id);
  if (!device) return;
  if (capture_.endpoint.active() && id == capture_.endpoint.endpoint_id()) return;
  Reopen(device.Get(), id);
}

ComRef<IMMDevice> EndpointFollower::Wanted(std::wstring& id) {
  const EDataFlow flow = capture_.endpoint.loopback() ? eRender : eCapture;
  ComRef<IMMDevice> device;
  if (capture_.endpoint.follows_default()) {
    if (FAILED(enumerator_->GetDefaultAudioEndpoint(flow, eConsole, device.Put())) ||
        FAILED(EndpointId(device.Get(), id))) {
      return ComRef<IMMDevice>();
    }
    return device;
  }
  id = capture_.endpoint.endpoint_id();
  if (FAILED(FindActiveEndpoint(enumerator_.Get(), flow, id, device.Put()))) {
    return ComRef<IMMDevice>();
  }
  return device;
}

void EndpointFollower::Reopen(IMMDevice* device, const std::wstring& id) {
  const bool follows_default = capture_.endpoint.follows_default();
  const bool loopback = capture_.endpoint.loopback();
  // A move away from a device that is no longer there is its loss, even
  // when the notification came before the capture noticed.
  ComRef<IMMDevice> old;
  if (capture_.endpoint.active() && !loss_reported_ &&
      FAILED(FindActiveEndpoint(enumerator_.Get(), loopback ? eRender : eCapture,
                                capture_.endpoint.endpoint_id(), old.Put()))) {
    failure_.Record(lost_text_, AUDCLNT_E_DEVICE_INVALIDATED);
    loss_reported_ = true;
  }
  capture_.Reset();
  if (!capture_.Open(device, loopback)) capture_.Reset();
  // Reset forgets the endpoint; the capture stays on the one it belongs on,
  // to be tried again on the next change or retry when it could not open.
  capture_.endpoint.Aim(id, loopback, follows_default);
  FollowWithKeepAlive(device);
}

}  // namespace morl::recorder
