#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "mf/mf_attributes_impl.h"
#include "mfapi.h"

namespace winsim {
namespace {

DWORD CurrentLength(IMFMediaBuffer* buffer) {
  DWORD length = 0;
  buffer->GetCurrentLength(&length);
  return length;
}

// Copies the valid bytes of `buffers` one after the other into `target`.
HRESULT Gather(const std::vector<ComRef<IMFMediaBuffer>>& buffers, IMFMediaBuffer* target) {
  DWORD total = 0;
  for (const auto& buffer : buffers) total += CurrentLength(buffer.Get());
  BYTE* out = nullptr;
  DWORD capacity = 0;
  if (HRESULT hr = target->Lock(&out, &capacity, nullptr); FAILED(hr)) return hr;
  if (capacity < total) {
    target->Unlock();
    return MF_E_BUFFERTOOSMALL;
  }
  DWORD offset = 0;
  for (const auto& buffer : buffers) {
    BYTE* in = nullptr;
    DWORD length = 0;
    if (HRESULT hr = buffer->Lock(&in, nullptr, &length); FAILED(hr)) {
      target->Unlock();
      return hr;
    }
    if (length != 0) std::memcpy(out + offset, in, length);
    offset += length;
    buffer->Unlock();
  }
  target->Unlock();
  return target->SetCurrentLength(total);
}

class Sample final : public AttributesImpl<IMFSample> {
 public:
  Sample() : AttributesImpl<IMFSample>("IMFSample") {}

  HRESULT GetSampleFlags(DWORD* flags) override {
    if (flags == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    *flags = flags_;
    return S_OK;
  }
  HRESULT SetSampleFlags(DWORD flags) override {
    std::lock_guard<std::mutex> lock(mutex_);
    flags_ = flags;
    return S_OK;
  }
  HRESULT GetSampleTime(LONGLONG* time) override {
    return ReadTime(time_, time, MF_E_NO_SAMPLE_TIMESTAMP);
  }
  HRESULT SetSampleTime(LONGLONG time) override {
    if (HRESULT hr = InjectedFailure("IMFSample::SetSampleTime"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    time_ = time;
    return S_OK;
  }
  HRESULT GetSampleDuration(LONGLONG* duration) override {
    return ReadTime(duration_, duration, MF_E_NO_SAMPLE_DURATION);
  }
  HRESULT SetSampleDuration(LONGLONG duration) override {
    if (HRESULT hr = InjectedFailure("IMFSample::SetSampleDuration"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    duration_ = duration;
    return S_OK;
  }
  HRESULT GetBufferCount(DWORD* count) override {
    if (count == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    *count = static_cast<DWORD>(buffers_.size());
    return S_OK;
  }
  HRESULT GetBufferByIndex(DWORD index, IMFMediaBuffer** buffer) override {
    if (buffer == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= buffers_.size()) return E_INVALIDARG;
    *buffer = ComRef<IMFMediaBuffer>(buffers_[index]).Detach();
    return S_OK;
  }
  // One buffer is handed out as is; several are merged into a new buffer
  // that then replaces them in the sample, as Media Foundation does.
  HRESULT ConvertToContiguousBuffer(IMFMediaBuffer** buffer) override {
    if (buffer == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    if (buffers_.empty()) return E_UNEXPECTED;
    if (buffers_.size() > 1) {
      DWORD total = 0;
      for (const auto& part : buffers_) total += CurrentLength(part.Get());
      IMFMediaBuffer* raw = nullptr;
      if (HRESULT hr = MFCreateMemoryBuffer(total, &raw); FAILED(hr)) return hr;
      ComRef<IMFMediaBuffer> merged(raw);
      if (HRESULT hr = Gather(buffers_, merged.Get()); FAILED(hr)) return hr;
      buffers_.clear();
      buffers_.push_back(merged);
    }
    *buffer = ComRef<IMFMediaBuffer>(buffers_.front()).Detach();
    return S_OK;
  }
  HRESULT AddBuffer(IMFMediaBuffer* buffer) override {
    if (buffer == nullptr) return E_POINTER;
    if (HRESULT hr = InjectedFailure("IMFSample::AddBuffer"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    buffers_.push_back(ComRef<IMFMediaBuffer>::Share(buffer));
    return S_OK;
  }
  HRESULT RemoveBufferByIndex(DWORD index) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= buffers_.size()) return E_INVALIDARG;
    buffers_.erase(buffers_.begin() + index);
    return S_OK;
  }
  HRESULT RemoveAllBuffers() override {
    std::lock_guard<std::mutex> lock(mutex_);
    buffers_.clear();
    return S_OK;
  }
  HRESULT GetTotalLength(DWORD* total) override {
    if (total == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    *total = 0;
    for (const auto& buffer : buffers_) *total += CurrentLength(buffer.Get());
    return S_OK;
  }
  HRESULT CopyToBuffer(IMFMediaBuffer* buffer) override {
    if (buffer == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    return Gather(buffers_, buffer);
  }

 private:
  HRESULT ReadTime(const std::optional<LONGLONG>& field, LONGLONG* out, HRESULT missing) {
    if (out == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!field) return missing;
    *out = *field;
    return S_OK;
  }

  std::mutex mutex_;
  DWORD flags_ = 0;
  std::optional<LONGLONG> time_;
  std::optional<LONGLONG> duration_;
  std::vector<ComRef<IMFMediaBuffer>> buffers_;
};

}  // namespace
}  // namespace winsim

HRESULT MFCreateSample(IMFSample** ppIMFSample) {
  if (ppIMFSample == nullptr) return E_POINTER;
  *ppIMFSample = nullptr;
  if (HRESULT hr = winsim::InjectedFailure("MFCreateSample"); FAILED(hr)) return hr;
  *ppIMFSample = new winsim::Sample();
  return S_OK;
}
