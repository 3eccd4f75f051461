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
  MORL_RETURN_IF_FAILED(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, client.PutVoid()),
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
  format.sample_rate = mix->nSamplesPerSec;
  format.channels = mix->nChannels;
  format.downmix = StereoDownmix(format.channels, SpeakerMaskOf(*mix.Get()));
  format.is_float = layout.is_float;
  format.bytes_per_sample = layout.bytes_per_sample;
  mix.Reset();
  MORL_RETURN_IF_FAILED(hr, "", "initialize");
  ComRef<IAudioCaptureClient> capture;
  MORL_RETURN_IF_FAILED(client->GetService(IID_PPV_ARGS(capture.Put())), "", "capture service");
  if (FAILED(EndpointId(device, endpoint_id_))) endpoint_id_.clear();
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
  audio_client_ = std::move(audio);
  capture_client_ = std::move(capture);
  format_ = std::move(format);
  lost_hr_ = S_OK;
  active_ = true;
}

void CaptureEndpoint::Release() {
  if (started_ && audio_client_) audio_client_->Stop();
  started_ = false;
  active_ = false;
  capture_client_.Reset();
  audio_client_.Reset();
}

void CaptureEndpoint::Reset() {
  Release();
  endpoint_id_.clear();
  loopback_ = false;
  follows_default_ = false;
  lost_hr_ = S_OK;
}

void CaptureEndpoint::Aim(std::wstring id, bool loopback, bool follows_default) {
  endpoint_id_ = std::move(id);
  loopback_ = loopback;
  follows_default_ = follows_default;
}

void CaptureEndpoint::ReadPackets(const std::function<void(const CapturedPacket&)>& take) {
  if (!active_) return;
  UINT32 packet_frames = 0;
  HRESULT hr = capture_client_->GetNextPacketSize(&packet_frames);
  while (SUCCEEDED(hr) && packet_frames != 0) {
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    UINT64 device_position = 0;
    UINT64 qpc_position = 0;
    hr = capture_client_->GetBuffer(&data, &frames, &flags, &device_position, &qpc_position);
    if (hr == AUDCLNT_S_BUFFER_EMPTY) break;
    if (FAILED(hr)) break;
    take(CapturedPacket{data, frames, flags, static_cast<std::int64_t>(device_position),
                        static_cast<std::int64_t>(qpc_position)});
    hr = capture_client_->ReleaseBuffer(frames);
    if (SUCCEEDED(hr)) hr = capture_client_->GetNextPacketSize(&packet_frames);
  }
  if (FAILED(hr)) {
    // The device went away (AUDCLNT_E_DEVICE_INVALIDATED) or the engine
    // stopped serving it: this client never delivers again. What was queued
    // still plays; the follower opens a new client when it can.
    Release();
    lost_hr_ = hr;
  }
}

}  // namespace morl::recorder
