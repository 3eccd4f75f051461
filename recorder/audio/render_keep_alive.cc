#include "recorder/audio/render_keep_alive.h"

#include <audioclient.h>

#include <utility>

#include "win32_support/task_memory.h"

namespace morl::recorder {

namespace {

// The endpoint buffer asked for: 200 ms, twenty times the mixer's step, so
// a slow step never lets the stream run dry.
constexpr REFERENCE_TIME kBufferDuration = 2'000'000;

}  // namespace

RenderKeepAlive::~RenderKeepAlive() { Close(); }

HRESULT RenderKeepAlive::Open(IMMDevice* device) {
  Close();
  ComRef<IAudioClient> client;
  HRESULT hr = device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, client.PutVoid());
  if (FAILED(hr)) return hr;
  {
    // Shared mode takes the engine's mix format and nothing else.
    TaskMemory<WAVEFORMATEX> mix;
    hr = client->GetMixFormat(mix.Put());
    if (FAILED(hr)) return hr;
    hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, kBufferDuration, 0, mix.Get(), nullptr);
    if (FAILED(hr)) return hr;
  }
  ComRef<IAudioRenderClient> render;
  if (FAILED(hr = client->GetBufferSize(&buffer_frames_)) ||
      FAILED(hr = client->GetService(IID_PPV_ARGS(render.Put())))) {
    return hr;
  }
  client_ = std::move(client);
  render_ = std::move(render);
  // A full buffer before the start, so the first period already plays.
  TopUp();
  if (!render_ || FAILED(hr = client_->Start())) {
    Close();
    return FAILED(hr) ? hr : E_FAIL;
  }
  started_ = true;
  return S_OK;
}

void RenderKeepAlive::TopUp() {
  if (!render_) return;
  UINT32 padding = 0;
  HRESULT hr = client_->GetCurrentPadding(&padding);
  const UINT32 free = SUCCEEDED(hr) && padding < buffer_frames_ ? buffer_frames_ - padding : 0;
  if (SUCCEEDED(hr) && free > 0) {
    // The flag makes the engine play silence whatever the buffer holds.
    BYTE* data = nullptr;
    hr = render_->GetBuffer(free, &data);
    if (SUCCEEDED(hr)) hr = render_->ReleaseBuffer(free, AUDCLNT_BUFFERFLAGS_SILENT);
  }
  if (FAILED(hr)) Close();
}

void RenderKeepAlive::Close() {
  if (started_ && client_) client_->Stop();
  started_ = false;
  render_.Reset();
  client_.Reset();
  buffer_frames_ = 0;
}

}  // namespace morl::recorder
