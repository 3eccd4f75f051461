// Endpoint notifications: the registered IMMNotificationClients hear about
// endpoints added, removed, changing state and becoming the default, on a
// thread of the machine's own, in the order the changes happened.
//
// As documented, registration takes no reference on the client; the
// application keeps it alive until it unregisters. Unregistering waits for a
// call in progress to that client to return (unless it is made from inside
// the call), so a client may be released as soon as Unregister returns.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "audio/audio_state.h"

namespace winsim {
namespace audio {
namespace {

struct Notification {
  enum class Kind { kRemoved, kAdded, kStateChanged, kDefaultChanged } kind;
  std::wstring id;
  DWORD state = 0;
  EDataFlow flow = eRender;
  ERole role = eConsole;
};

struct Hub {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<IMMNotificationClient*> clients;
  std::deque<Notification> pending;
  IMMNotificationClient* in_call = nullptr;
  std::thread::id thread_id;
  bool thread_started = false;
};

Hub& GetHub() {
  static Hub* hub = new Hub;  // its thread runs until the process ends
  return *hub;
}

void Deliver(IMMNotificationClient* client, const Notification& n) {
  const LPCWSTR id = n.id.empty() ? nullptr : n.id.c_str();
  switch (n.kind) {
    case Notification::Kind::kRemoved:
      client->OnDeviceRemoved(id);
      break;
    case Notification::Kind::kAdded:
      client->OnDeviceAdded(id);
      break;
    case Notification::Kind::kStateChanged:
      client->OnDeviceStateChanged(id, n.state);
      break;
    case Notification::Kind::kDefaultChanged:
      client->OnDefaultDeviceChanged(n.flow, n.role, id);
      break;
  }
}

void RunHub() {
  Hub& hub = GetHub();
  std::unique_lock<std::mutex> lock(hub.mutex);
  for (;;) {
    hub.changed.wait(lock, [&] { return !hub.pending.empty(); });
    const Notification n = hub.pending.front();
    hub.pending.pop_front();
    // Clients registered when the notification is delivered hear it; each
    // call is made without the lock, so a client may call back into the API.
    const std::vector<IMMNotificationClient*> clients = hub.clients;
    for (IMMNotificationClient* client : clients) {
      if (std::find(hub.clients.begin(), hub.clients.end(), client) == hub.clients.end()) continue;
      hub.in_call = client;
      lock.unlock();
      Deliver(client, n);
      lock.lock();
      hub.in_call = nullptr;
      hub.changed.notify_all();
    }
  }
}

void Queue(Hub& hub, Notification n) {
  if (hub.clients.empty()) return;
  hub.pending.push_back(std::move(n));
  hub.changed.notify_all();
}

}  // namespace

HRESULT RegisterNotificationClient(IMMNotificationClient* client) {
  Hub& hub = GetHub();
  std::lock_guard<std::mutex> lock(hub.mutex);
  if (std::find(hub.clients.begin(), hub.clients.end(), client) == hub.clients.end()) {
    hub.clients.push_back(client);
  }
  if (!hub.thread_started) {
    std::thread thread(RunHub);
    hub.thread_id = thread.get_id();
    thread.detach();
    hub.thread_started = true;
  }
  return S_OK;
}

HRESULT UnregisterNotificationClient(IMMNotificationClient* client) {
  Hub& hub = GetHub();
  std::unique_lock<std::mutex> lock(hub.mutex);
  const auto it = std::find(hub.clients.begin(), hub.clients.end(), client);
  if (it == hub.clients.end()) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
  hub.clients.erase(it);
  if (std::this_thread::get_id() != hub.thread_id) {
    hub.changed.wait(lock, [&] { return hub.in_call != client; });
  }
  return S_OK;
}

void NotifyEndpointChanges(bool render, const EndpointSnapshot& before,
                           const EndpointSnapshot& after) {
  const auto find = [](const EndpointSnapshot& in, const std::wstring& id) -> const DWORD* {
    for (const auto& [candidate, state] : in.states) {
      if (candidate == id) return &state;
    }
    return nullptr;
  };
  Hub& hub = GetHub();
  std::lock_guard<std::mutex> lock(hub.mutex);
  for (const auto& [id, state] : before.states) {
    if (find(after, id) == nullptr) Queue(hub, {Notification::Kind::kRemoved, id});
  }
  for (const auto& [id, state] : after.states) {
    const DWORD* was = find(before, id);
    if (was == nullptr) {
      Queue(hub, {Notification::Kind::kAdded, id});
    } else if (*was != state) {
      Queue(hub, {Notification::Kind::kStateChanged, id, state});
    }
  }
  if (before.default_id != after.default_id) {
    for (ERole role : {eConsole, eMultimedia, eCommunications}) {
      Queue(hub, {Notification::Kind::kDefaultChanged, after.default_id, 0,
                  render ? eRender : eCapture, role});
    }
  }
}

}  // namespace audio
}  // namespace winsim
