// An owning COM reference for the simulation's own objects.
#pragma once

#include <utility>

namespace winsim {

template <typename T>
class ComRef {
 public:
  ComRef() = default;
  // Adopts `raw` without adding a reference.
  explicit ComRef(T* raw) : raw_(raw) {}
  ComRef(const ComRef& other) : raw_(other.raw_) {
    if (raw_ != nullptr) raw_->AddRef();
  }
  ComRef(ComRef&& other) noexcept : raw_(std::exchange(other.raw_, nullptr)) {}
  ComRef& operator=(ComRef other) noexcept {
    std::swap(raw_, other.raw_);
    return *this;
  }
  ~ComRef() { Reset(); }

  static ComRef Share(T* raw) {
    if (raw != nullptr) raw->AddRef();
    return ComRef(raw);
  }
  void Reset() {
    if (raw_ != nullptr) std::exchange(raw_, nullptr)->Release();
  }
  T* Get() const { return raw_; }
  T* operator->() const { return raw_; }
  explicit operator bool() const { return raw_ != nullptr; }
  // Hands the reference to the caller.
  T* Detach() { return std::exchange(raw_, nullptr); }

 private:
  T* raw_ = nullptr;
};

}  // namespace winsim
