// ComRef<T>: owns one reference to a COM interface and releases it when reset
// or destroyed. Move-only, so every reference has exactly one owner.
#pragma once

#include <utility>

namespace morl {

template <typename T>
class ComRef {
 public:
  ComRef() = default;
  // Adopts a reference the caller already owns (no AddRef).
  explicit ComRef(T* adopted) : ptr_(adopted) {}
  ~ComRef() { Reset(); }

  ComRef(ComRef&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComRef& operator=(ComRef&& other) noexcept {
    if (this != &other) {
      Reset();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  // Releases the held reference, if any. The pointer is cleared before the
  // Release so that a re-entrant look at this holder sees it empty.
  void Reset() {
    if (T* old = std::exchange(ptr_, nullptr)) old->Release();
  }
  // For out-parameters: drops what is held and lends the slot to the callee.
  T** Put() {
    Reset();
    return &ptr_;
  }
  // The same for out-parameters typed void** (QueryInterface, Activate,
  // GetService), whose interface is named by the IID passed beside them.
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }
  T* Get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

 private:
  T* ptr_ = nullptr;
};

}  // namespace morl
