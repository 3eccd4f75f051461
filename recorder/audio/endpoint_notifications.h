// EndpointNotifications: counts the audio endpoint changes Windows reports
// (a device added, removed, changing state, a new default), so that a
// recording's thread can look at the devices again when the count moved.
// The callback itself only counts: Windows asks notification clients not to
// block or call back into the endpoint API from it.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

#include <cstdint>

#include "win32_support/com_ref.h"

namespace morl::recorder {

class EndpointNotifications {
 public:
  // Registers with `enumerator` (null: counts nothing) until destroyed.
  explicit EndpointNotifications(IMMDeviceEnumerator* enumerator);
  ~EndpointNotifications();
  EndpointNotifications(const EndpointNotifications&) = delete;
  EndpointNotifications& operator=(const EndpointNotifications&) = delete;

  // Changes reported so far.
  std::uint64_t count() const;

 private:
  class Client;
  ComRef<IMMDeviceEnumerator> enumerator_;
  Client* client_ = nullptr;  // one reference, registered while not null
};

}  // namespace morl::recorder
