// CaptureEndpoint: one audio endpoint captured in shared mode and polled: the
// loopback of the playback device or a microphone. It owns the endpoint's
// audio client and capture client and knows its mix format; it hands out the
// packets that arrived and gives the clients up when the device goes away.
#pragma once

#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "recorder/audio/mix_format.h"
#include "recorder/recorder_error.h"
#include "win32_support/com_ref.h"

namespace morl::recorder {

// One packet as GetBuffer lends it: `frames` frames of the mix format at
// `data` (null or unread when `flags` says silent), valid during the call.
struct CapturedPacket {
  const BYTE* data = nullptr;
  UINT32 frames = 0;
  DWORD flags = 0;
  std::int64_t device_position = 0;  // of its first frame in the endpoint's stream
  std::int64_t qpc_position = 0;     // 100-ns counter time its first frame was sampled
};

class CaptureEndpoint {
 public:
  CaptureEndpoint() = default;
  ~CaptureEndpoint() { Reset(); }
  CaptureEndpoint(const CaptureEndpoint&) = delete;
  CaptureEndpoint& operator=(const CaptureEndpoint&) = delete;

  // Opens `device` for polled shared-mode capture of its mix format (the
  // playback stream when `loopback`) and starts it. A refused sample format
  // gives E_INVALIDARG. A failure's message says which step failed; the
  // caller then resets the endpoint.
  Status Open(IMMDevice* device, bool loopback);
  // Delivers from `capture`, a client already started in `format`, from now
  // on; `audio` (null when someone else runs the stream) is stopped at the
  // end.
  void Attach(ComRef<IAudioClient> audio, ComRef<IAudioCaptureClient> capture,
              CaptureFormat format);
  // Stops and releases the clients and forgets the endpoint; the format
  // stays. Harmless on an endpoint that was never opened.
  void Reset();

  // Hands every packet that arrived to `take`, oldest first. A failing
  // client (its device invalidated) is stopped and released and `lost_hr`
  // set: it never delivers again.
  void ReadPackets(const std::function<void(const CapturedPacket&)>& take);

  // Open and delivering: all the mixer looks at. Written by the mixer's
  // thread, read by status and the source watch on theirs.
  bool active() const { return active_.load(); }
  // The client was started and must be stopped.
  bool started() const { return started_; }
  // Holds a client (open, or lost and not yet reset).
  bool holds_client() const { return audio_client_ || capture_client_; }
  const CaptureFormat& format() const { return format_; }
  // Why the endpoint stopped delivering (its device went away), or S_OK.
  HRESULT lost_hr() const { return lost_hr_; }

  // The endpoint captured: its id, whether it is the playback stream
  // (loopback) and whether the capture follows the default endpoint. Set by
  // Open and the set-up, forgotten by Reset.
  const std::wstring& endpoint_id() const { return endpoint_id_; }
  bool loopback() const { return loopback_; }
  bool follows_default() const { return follows_default_; }
  void SetFollowsDefault(bool follows) { follows_default_ = follows; }
  // The endpoint this capture belongs on, kept while it cannot be opened.
  void Aim(std::wstring id, bool loopback, bool follows_default);

 private:
  // Stops and releases both clients.
  void Release();

  ComRef<IAudioClient> audio_client_;
  ComRef<IAudioCaptureClient> capture_client_;
  CaptureFormat format_;
  bool started_ = false;
  std::atomic<bool> active_{false};
  std::wstring endpoint_id_;
  bool loopback_ = false;
  bool follows_default_ = false;
  HRESULT lost_hr_ = S_OK;
};

}  // namespace morl::recorder
