// EndpointFollower: keeps one capture of the computer-audio mix on its
// endpoint while devices come and go. A capture on the default endpoint
// moves to the new default when the user switches (plugging in headphones)
// or when its device goes away; a capture on an endpoint the user chose
// keeps silence while that device is gone and captures it again when it
// returns. Endpoint notifications only mark that something changed; the
// mixer's thread looks at the devices on its next step, as Windows asks of
// notification clients (no blocking work inside the callback).
// A follower given a RenderKeepAlive keeps it playing on the endpoint the
// capture is on, opened and moved with the capture.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "recorder/worker_failure.h"
#include "win32_support/com_ref.h"

namespace morl::recorder {

class EndpointNotifications;
struct MixSource;
class RenderKeepAlive;

class EndpointFollower {
 public:
  // Follows `capture` (opened or not) for as long as this object lives.
  // `lost_text` names the device in the failure recorded when it is lost
  // ("system audio device lost"). Registers for notifications with an
  // enumerator of the calling thread's apartment. `keep_alive`, when given,
  // must outlive the follower.
  EndpointFollower(MixSource& capture, WorkerFailure& failure, const char* lost_text,
                   RenderKeepAlive* keep_alive = nullptr);
  ~EndpointFollower();
  EndpointFollower(const EndpointFollower&) = delete;
  EndpointFollower& operator=(const EndpointFollower&) = delete;

  // Records a lost capture's failure once, and reopens the capture on the
  // endpoint it should be on when that changed or its device is back.
  // `now` is the counter time (100-ns) of the step.
  void Step(std::int64_t now);

 private:
  // Opens the capture on `device` (whose id is `id`), replacing what it had.
  void Reopen(IMMDevice* device, const std::wstring& id);
  // The endpoint the capture belongs on now; null when there is none.
  ComRef<IMMDevice> Wanted(std::wstring& id);
  // Opens the keep-alive on `device` when the capture runs there, else
  // closes it.
  void FollowWithKeepAlive(IMMDevice* device);

  MixSource& capture_;
  WorkerFailure& failure_;
  const char* lost_text_;
  RenderKeepAlive* keep_alive_;
  ComRef<IMMDeviceEnumerator> enumerator_;
  std::unique_ptr<EndpointNotifications> notifications_;
  std::uint64_t seen_ = 0;      // notifications already looked at
  std::int64_t next_retry_ = 0;  // when a lost capture looks again unprompted
  bool loss_reported_ = false;
};

}  // namespace morl::recorder
