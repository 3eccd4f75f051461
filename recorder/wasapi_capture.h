// WasapiCapture: the state of one capturing audio endpoint (the loopback of
// the playback device or the shared-mode microphone). Captured audio waits in
// `samples` as interleaved stereo floats until the mixer consumes it.
#pragma once

#include <windows.h>
#include <audioclient.h>

#include <cstdint>
#include <deque>

#include "recorder/com_ref.h"

struct WasapiCapture {
  ComRef<IAudioClient> audioClient;
  ComRef<IAudioCaptureClient> captureClient;
  std::uint32_t sampleRate = 0;      // frames per second of the mix format
  std::uint32_t channels = 0;        // channels of the mix format
  std::uint32_t bytesPerSample = 0;  // 2 or 4
  bool isFloat = false;              // samples are IEEE 32-bit float
  bool started = false;              // the client was started and must be stopped
  bool active = false;               // open and delivering; all the mixer looks at
  std::deque<float> samples;         // left, right, left, right ..., oldest first
  double readPos = 0.0;              // resampling position in input frames
  double step = 1.0;                 // input frames per 48 kHz output frame
};
