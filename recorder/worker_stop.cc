#include "recorder/worker_stop.h"

namespace morl::recorder {

HRESULT WorkerStop::Open() {
  if (event_ != nullptr && wake_ != nullptr) {
    return ResetEvent(event_) && ResetEvent(wake_) ? S_OK : HRESULT_FROM_WIN32(GetLastError());
  }
  Close();
  event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  wake_ = event_ != nullptr ? CreateEventW(nullptr, FALSE, FALSE, nullptr) : nullptr;
  if (wake_ != nullptr) return S_OK;
  const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
  Close();
  return hr;
}

void WorkerStop::Close() {
  if (event_ != nullptr) CloseHandle(event_);
  if (wake_ != nullptr) CloseHandle(wake_);
  event_ = nullptr;
  wake_ = nullptr;
}

void WorkerStop::Request() {
  if (event_ != nullptr) SetEvent(event_);
}

bool WorkerStop::Requested() const { return WaitFor(0); }

bool WorkerStop::WaitFor(DWORD ms) const {
  return event_ == nullptr || WaitForSingleObject(event_, ms) != WAIT_TIMEOUT;
}

void WorkerStop::Wake() {
  if (wake_ != nullptr) SetEvent(wake_);
}

bool WorkerStop::WaitForWake() const {
  if (event_ == nullptr || wake_ == nullptr) return true;
  // The stop comes first, so a stop and a wake together read as the stop.
  const HANDLE events[] = {event_, wake_};
  return WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1;
}

}  // namespace morl::recorder
