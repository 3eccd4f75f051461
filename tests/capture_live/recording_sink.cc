#include "recording_sink.h"

#include <mferror.h>

#include <cstring>

#include "win32_support/com_ref.h"

using morl::ComRef;

std::vector<RecordingSink::Sample> RecordingSink::Samples() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return samples_;
}

DWORD RecordingSink::StreamCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return streams_;
}

DWORD RecordingSink::InputTypesSet() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return typed_;
}

HRESULT RecordingSink::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IMFSinkWriter) {
    *object = static_cast<IMFSinkWriter*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG RecordingSink::AddRef() { return ++refs_; }

ULONG RecordingSink::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT RecordingSink::AddStream(IMFMediaType* type, DWORD* index) {
  if (type == nullptr || index == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(mutex_);
  *index = streams_++;
  return S_OK;
}

HRESULT RecordingSink::SetInputMediaType(DWORD index, IMFMediaType* type, IMFAttributes*) {
  if (type == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= streams_) return MF_E_INVALIDSTREAMNUMBER;
  ++typed_;
  return S_OK;
}

HRESULT RecordingSink::WriteSample(DWORD index, IMFSample* sample) {
  if (sample == nullptr) return E_POINTER;
  Sample kept;
  kept.stream = index;
  if (FAILED(sample->GetSampleTime(&kept.time))) return MF_E_NO_SAMPLE_TIMESTAMP;
  sample->GetSampleDuration(&kept.duration);
  ComRef<IMFMediaBuffer> buffer;
  HRESULT hr = sample->ConvertToContiguousBuffer(buffer.Put());
  if (FAILED(hr)) return hr;
  BYTE* data = nullptr;
  DWORD length = 0;
  hr = buffer->Lock(&data, nullptr, &length);
  if (FAILED(hr)) return hr;
  kept.bytes.assign(data, data + length);
  buffer->Unlock();
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= streams_) return MF_E_INVALIDSTREAMNUMBER;
  samples_.push_back(std::move(kept));
  return S_OK;
}

HRESULT RecordingSink::GetServiceForStream(DWORD, REFGUID, REFIID, LPVOID* object) {
  if (object != nullptr) *object = nullptr;
  return E_NOINTERFACE;
}
