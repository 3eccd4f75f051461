#include "recorder/worker_stop.h"

namespace morl::recorder {

HRESULT WorkerStop::Open() {
  if (event_ != nullptr) return ResetEvent(event_) ? S_OK : HRESULT_FROM_WIN32(GetLastError());
  event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event_ != nullptr ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

void WorkerStop::Close() {
  if (event_ != nullptr) CloseHandle(event_);
  event_ = nullptr;
}

void WorkerStop::Request() {
  if (event_ != nullptr) SetEvent(event_);
}

bool WorkerStop::Requested() const { return WaitFor(0); }

bool WorkerStop::WaitFor(DWORD ms) const {
  return event_ == nullptr || WaitForSingleObject(event_, ms) != WAIT_TIMEOUT;
}

}  // namespace morl::recorder
