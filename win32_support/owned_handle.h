// OwnedHandle: owns one kernel object handle (an event, a file) and closes
// it when reset or destroyed. Move-only, so every handle has one owner.
// Null means none; INVALID_HANDLE_VALUE, which file calls return on
// failure, is never held.
#pragma once

#include <windows.h>

#include <utility>

namespace morl {

class OwnedHandle {
 public:
  OwnedHandle() = default;
  // Adopts `handle`, which the caller owned.
  explicit OwnedHandle(HANDLE handle)
      : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  ~OwnedHandle() { Reset(); }
  OwnedHandle(OwnedHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  void Reset() {
    if (HANDLE old = std::exchange(handle_, nullptr)) CloseHandle(old);
  }
  HANDLE Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace morl
