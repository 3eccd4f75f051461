// Opening and closing one WASAPI endpoint for polled shared-mode capture.
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <vector>

#include "win32_support/hresult_text.h"
#include "win32_support/task_memory.h"
#include "recorder/mix_format.h"
#include "recorder/wasapi_capture.h"

namespace morl::recorder {

namespace {

// 200 ms of endpoint buffer: the mixer drains every 10 ms, so packets never
// overrun it even when a mixing step is slow.
constexpr REFERENCE_TIME kBufferDuration = 2'000'000;

}  // namespace

HRESULT WasapiCapture::Open(IMMDevice* device, bool loopback, std::string& error) {
  ComRef<IAudioClient> client;
  HRESULT hr = device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                                reinterpret_cast<void**>(client.Put()));
  if (FAILED(hr)) {
    error = "activate " + HresultText(hr);
    return hr;
  }
  // Task memory owned by the caller of GetMixFormat.
  TaskMemory<WAVEFORMATEX> mix;
  hr = client->GetMixFormat(mix.Put());
  if (FAILED(hr)) {
    error = "mix format " + HresultText(hr);
    return hr;
  }
  MixSampleLayout layout;
  if (!mix || !AcceptMixFormat(*mix.Get(), layout)) {
    error = "unsupported device sample format";
    return E_INVALIDARG;
  }
  hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, loopback ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0,
                          kBufferDuration, 0, mix.Get(), nullptr);
  const UINT32 rate = mix->nSamplesPerSec;
  const UINT32 channelCount = mix->nChannels;
  mix.Reset();
  if (FAILED(hr)) {
    error = "initialize " + HresultText(hr);
    return hr;
  }
  captureClient.Reset();
  hr = client->GetService(IID_IAudioCaptureClient, reinterpret_cast<void**>(captureClient.Put()));
  if (FAILED(hr)) {
    error = "capture service " + HresultText(hr);
    return hr;
  }
  audioClient = std::move(client);
  sampleRate = rate;
  channels = channelCount;
  isFloat = layout.isFloat;
  bytesPerSample = layout.bytesPerSample;
  baseStep = sampleRate / 48000.0;
  step = baseStep;
  hr = audioClient->Start();
  if (FAILED(hr)) {
    error = "start " + HresultText(hr);
    return hr;
  }
  started = true;
  active = true;
  return S_OK;
}

void WasapiCapture::Reset() {
  if (started && audioClient) audioClient->Stop();
  started = false;
  active = false;
  captureClient.Reset();
  audioClient.Reset();
  std::vector<float>().swap(samples);
  readPos = 0.0;
  anchored = false;
  placeExactly = false;
  queueDevice = 0;
}

}  // namespace morl::recorder
