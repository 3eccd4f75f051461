#include "recorder/worker_stop.h"

namespace morl::recorder {

HRESULT WorkerStop::Open() {
  if (event_ && wake_) {
    return ResetEvent(event_.Get()) && ResetEvent(wake_.Get()) ? S_OK
                                                               : HRESULT_FROM_WIN32(GetLastError());
  }
  Close();
  event_ = OwnedHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (event_) wake_ = OwnedHandle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (wake_) return S_OK;
  const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
  Close();
  return hr;
}

void WorkerStop::Close() {
  event_.Reset();
  wake_.Reset();
}

void WorkerStop::Request() {
  if (event_) SetEvent(event_.Get());
}

bool WorkerStop::Requested() const { return WaitFor(0); }

bool WorkerStop::WaitFor(DWORD ms) const {
  return !event_ || WaitForSingleObject(event_.Get(), ms) != WAIT_TIMEOUT;
}

void WorkerStop::Wake() {
  if (wake_) SetEvent(wake_.Get());
}

bool WorkerStop::WaitForWake() const {
  if (!event_ || !wake_) return true;
  // The stop comes first, so a stop and a wake together read as the stop.
  const HANDLE events[] = {event_.Get(), wake_.Get()};
  return WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1;
}

}  // namespace morl::recorder
