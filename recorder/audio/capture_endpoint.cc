#include "recorder/audio/capture_endpoint.h"

#include <utility>
#include <vector>

#include "recorder/audio/endpoint_lookup.h"
#include "recorder/audio/stereo_downmix.h"
#include "win32_support/task_memory.h"

namespace morl::recorder {

namespace {

// 200 ms of endpoint buffer: the mixer drains every 10 ms, so packets never
// overrun it even when a mixing step is slow.
constexpr REFERENCE_TIME kBufferDuration = 2'000'000;

}  // namespace

Status CaptureEndpoint::Open(IMMDevice* device, bool loopback) {
  ComRef<IAudioClient> client;
  MORL_RETURN_IF_FAILED(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                                         reinterpret_cast<void**>(client.Put())),
                        "", "activate");
  // Task memory owned by the caller of GetMixFormat.
  TaskMemory<WAVEFORMATEX> mix;
  MORL_RETURN_IF_FAILED(client->GetMixFormat(mix.Put()), "", "mix format");
  MixSampleLayout layout;
  if (!mix || !AcceptMixFormat(*mix.Get(), layout)) {
    return RecorderError{"", "unsupported device sample format", E_INVALIDARG};
  }
  const HRESULT hr =
      client->Initialize(AUDCLNT_SHAREMODE_SHARED, loopback ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0,
                         kBufferDuration, 0, mix.Get(), nullptr);
  CaptureFormat format;
  format.sampleRate = mix->nSamplesPerSec;
  format.channels = mix->nChannels;
  format.downmix = StereoDownmix(format.channels, SpeakerMaskOf(*mix.Get()));
  format.isFloat = layout.isFloat;
  format.bytesPerSample = layout.bytesPerSample;
  mix.Reset();
  MORL_RETURN_IF_FAILED(hr, "", "initialize");
  ComRef<IAudioCaptureClient> capture;
  MORL_RETURN_IF_FAILED(client->GetService(IID_PPV_ARGS(capture.Put())), "", "capture service");
  if (FAILED(EndpointId(device, endpointId_))) endpointId_.clear();
  loopback_ = loopback;
  // Both clients are released here when the start fails.
  MORL_RETURN_IF_FAILED(client->Start(), "", "start");
  Attach(std::move(client), std::move(capture), std::move(format));
  started_ = true;
  return Status();
}

void CaptureEndpoint::Attach(ComRef<IAudioClient> audio, ComRef<IAudioCaptureClient> capture,
                             CaptureFormat format) {
  Release();
  audioClient_ = std::move(audio);
  captureClient_ = std::move(capture);
  format_ = std::move(format);
  lostHr_ = S_OK;
  active_ = true;
}

void CaptureEndpoint::Release() {
  if (started_ && audioClient_) audioClient_->Stop();
  started_ = false;
  active_ = false;
  captureClient_.Reset();
  audioClient_.Reset();
}

void CaptureEndpoint::Reset() {
  Release();
  endpointId_.clear();
  loopback_ = false;
  followsDefault_ = false;
  lostHr_ = S_OK;
}

void CaptureEndpoint::Aim(std::wstring id, bool loopback, bool followsDefault) {
  endpointId_ = std::move(id);
  loopback_ = loopback;
  followsDefault_ = followsDefault;
}

void CaptureEndpoint::ReadPackets(const std::function<void(const CapturedPacket&)>& take) {
  if (!active_) return;
  UINT32 packetFrames = 0;
  HRESULT hr = captureClient_->GetNextPacketSize(&packetFrames);
  while (SUCCEEDED(hr) && packetFrames != 0) {
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    UINT64 devicePosition = 0;
    UINT64 qpcPosition = 0;
    hr = captureClient_->GetBuffer(&data, &frames, &flags, &devicePosition, &qpcPosition);
    if (hr == AUDCLNT_S_BUFFER_EMPTY) break;
    if (FAILED(hr)) break;
    take(CapturedPacket{data, frames, flags, static_cast<std::int64_t>(devicePosition),
                        static_cast<std::int64_t>(qpcPosition)});
    hr = captureClient_->ReleaseBuffer(frames);
    if (SUCCEEDED(hr)) hr = captureClient_->GetNextPacketSize(&packetFrames);
  }
  if (FAILED(hr)) {
    // The device went away (AUDCLNT_E_DEVICE_INVALIDATED) or the engine
    // stopped serving it: this client never delivers again. What was queued
    // still plays; the follower opens a new client when it can.
    Release();
    lostHr_ = hr;
  }
}

}  // namespace morl::recorder
