// BufferLock: holds an IMFMediaBuffer locked for the life of the object, so
// every successful Lock is matched by one Unlock on every path.
#pragma once

#include <windows.h>
#include <mfobjects.h>

namespace morl {

class BufferLock {
 public:
  explicit BufferLock(IMFMediaBuffer* buffer) : buffer_(buffer) {
    result_ = buffer_->Lock(&data_, nullptr, nullptr);
    if (FAILED(result_)) data_ = nullptr;
  }
  ~BufferLock() {
    if (SUCCEEDED(result_)) buffer_->Unlock();
  }
  BufferLock(const BufferLock&) = delete;
  BufferLock& operator=(const BufferLock&) = delete;

  HRESULT Result() const { return result_; }
  BYTE* Data() const { return data_; }

 private:
  IMFMediaBuffer* buffer_;
  BYTE* data_ = nullptr;
  HRESULT result_;
};

}  // namespace morl
