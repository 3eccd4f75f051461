#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "mfapi.h"

namespace winsim {
namespace {

// The heap behind media buffers. Like the process heap on Windows it hands a
// freed block out again: a frame-sized buffer made and released every frame
// then reuses warm memory instead of faulting in fresh pages each time. Only
// large blocks are kept, and only a few.
class BlockHeap {
 public:
  static std::unique_ptr<BYTE[]> Take(DWORD capacity) {
    if (capacity >= kSmallest) {
      BlockHeap& heap = Instance();
      std::lock_guard<std::mutex> lock(heap.mutex_);
      for (auto it = heap.free_.begin(); it != heap.free_.end(); ++it) {
        if (it->first != capacity) continue;
        std::unique_ptr<BYTE[]> block = std::move(it->second);
        heap.free_.erase(it);
        return block;
      }
    }
    return std::unique_ptr<BYTE[]>(new BYTE[capacity == 0 ? 1 : capacity]);
  }
  static void Give(DWORD capacity, std::unique_ptr<BYTE[]> block) {
    if (capacity < kSmallest) return;
    BlockHeap& heap = Instance();
    std::lock_guard<std::mutex> lock(heap.mutex_);
    if (heap.free_.size() < kKept) heap.free_.emplace_back(capacity, std::move(block));
  }

 private:
  static constexpr DWORD kSmallest = 1u << 20;
  static constexpr std::size_t kKept = 4;

  static BlockHeap& Instance() {
    static BlockHeap* heap = new BlockHeap();  // outlives buffers released at exit
    return *heap;
  }

  std::mutex mutex_;
  std::vector<std::pair<DWORD, std::unique_ptr<BYTE[]>>> free_;
};

// A contiguous block of system memory. Lock/Unlock nest as on Windows. The
// memory is not cleared: Windows does not promise zeroed buffers either, and
// a frame-sized buffer is filled by its writer anyway.
class MemoryBuffer final : public ComObject<IMFMediaBuffer> {
 public:
  explicit MemoryBuffer(DWORD capacity)
      : ComObject<IMFMediaBuffer>("IMFMediaBuffer"),
        capacity_(capacity),
        bytes_(BlockHeap::Take(capacity)) {}
  ~MemoryBuffer() override { BlockHeap::Give(capacity_, std::move(bytes_)); }

  HRESULT Lock(BYTE** data, DWORD* max_length, DWORD* current_length) override {
    if (data == nullptr) return E_POINTER;
    if (HRESULT hr = InjectedFailure("IMFMediaBuffer::Lock"); FAILED(hr)) return hr;
    ++locks_;
    *data = bytes_.get();
    if (max_length != nullptr) *max_length = capacity_;
    if (current_length != nullptr) *current_length = length_;
    return S_OK;
  }
  HRESULT Unlock() override {
    if (locks_ == 0) return MF_E_INVALIDREQUEST;
    --locks_;
    return S_OK;
  }
  HRESULT GetCurrentLength(DWORD* length) override {
    if (length == nullptr) return E_POINTER;
    *length = length_;
    return S_OK;
  }
  HRESULT SetCurrentLength(DWORD length) override {
    if (HRESULT hr = InjectedFailure("IMFMediaBuffer::SetCurrentLength"); FAILED(hr)) return hr;
    if (length > capacity_) return E_INVALIDARG;
    length_ = length;
    return S_OK;
  }
  HRESULT GetMaxLength(DWORD* max_length) override {
    if (max_length == nullptr) return E_POINTER;
    *max_length = capacity_;
    return S_OK;
  }

 private:
  const DWORD capacity_;
  DWORD length_ = 0;
  int locks_ = 0;
  std::unique_ptr<BYTE[]> bytes_;
};

}  // namespace
}  // namespace winsim

HRESULT MFCreateMemoryBuffer(DWORD cbMaxLength, IMFMediaBuffer** ppBuffer) {
  if (ppBuffer == nullptr) return E_POINTER;
  *ppBuffer = nullptr;
  if (HRESULT hr = winsim::InjectedFailure("MFCreateMemoryBuffer"); FAILED(hr)) return hr;
  *ppBuffer = new winsim::MemoryBuffer(cbMaxLength);
  return S_OK;
}
