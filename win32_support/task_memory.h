// TaskMemory<T>: owns a block the callee allocated with CoTaskMemAlloc (a
// device id, a mix format) and frees it with CoTaskMemFree.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace morl {

template <typename T>
class TaskMemory {
 public:
  TaskMemory() = default;
  ~TaskMemory() { Reset(); }
  TaskMemory(const TaskMemory&) = delete;
  TaskMemory& operator=(const TaskMemory&) = delete;

  void Reset() {
    if (T* old = std::exchange(ptr_, nullptr)) CoTaskMemFree(old);
  }
  // For out-parameters: frees what is held and lends the slot to the callee.
  T** Put() {
    Reset();
    return &ptr_;
  }
  T* Get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

 private:
  T* ptr_ = nullptr;
};

}  // namespace morl
