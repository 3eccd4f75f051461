// WasapiCapture: the state of one capturing audio endpoint (the loopback of
// the playback device or the shared-mode microphone). Captured audio waits in
// `samples` as interleaved stereo floats until the mixer consumes it.
#pragma once

#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <cstdint>
#include <string>
#include <vector>

#include "win32_support/com_ref.h"

namespace morl::recorder {

struct WasapiCapture {
  ComRef<IAudioClient> audioClient;
  ComRef<IAudioCaptureClient> captureClient;
  std::uint32_t sampleRate = 0;      // frames per second of the mix format
  std::uint32_t channels = 0;        // channels of the mix format
  std::uint32_t bytesPerSample = 0;  // 2 or 4
  bool isFloat = false;              // samples are IEEE 32-bit float
  bool started = false;              // the client was started and must be stopped
  bool active = false;               // open and delivering; all the mixer looks at
  std::vector<float> samples;        // left, right, left, right ..., oldest first
  double readPos = 0.0;              // resampling position in input frames
  double step = 1.0;                 // input frames per 48 kHz output frame

  // Opens `device` for polled shared-mode capture of its mix format (the
  // playback stream when `loopback`) and starts it. A refused sample format
  // gives E_INVALIDARG. On failure `error` says which step failed; the
  // caller then resets the capture.
  HRESULT Open(IMMDevice* device, bool loopback, std::string& error);
  // Stops and releases the clients and empties the queue; `step` is kept.
  // Harmless on a capture that was never opened.
  void Reset();
  // Appends every delivered packet to `samples` as stereo float (silence
  // for silent packets) and bounds the queue to two seconds.
  void Drain();
  // The next 48 kHz frame by linear interpolation; false (outputs untouched)
  // while the two input frames it needs are not both queued.
  bool PullFrame(float& left, float& right);
  // Drops the whole input frames already passed; the fraction stays.
  void Consume();
};

}  // namespace morl::recorder
