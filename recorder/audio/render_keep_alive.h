// RenderKeepAlive: a shared-mode render stream that plays silence on the
// playback endpoint whose loopback the recording captures. The audio engine
// hands a loopback packets only while something plays on its endpoint, so a
// quiet computer and a stalled device look the same to the capture: no
// packets. With this stream playing, a quiet endpoint still delivers a
// silent packet every period, a loopback with nothing for a while is a
// stalled device, and the mixer need not wait long for it (AudioMixer).
//
// Runs on the mixer's thread: opened when the mixer starts following the
// loopback, moved with it by the endpoint follower, topped up every step.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

#include "win32_support/com_ref.h"

// Declared only: the SDK's audioclient.h must not come before the Media
// Foundation headers of the files that include this one.
struct IAudioClient;
struct IAudioRenderClient;

namespace morl::recorder {

class RenderKeepAlive {
 public:
  RenderKeepAlive() = default;
  ~RenderKeepAlive();
  RenderKeepAlive(const RenderKeepAlive&) = delete;
  RenderKeepAlive& operator=(const RenderKeepAlive&) = delete;

  // Opens a render stream at `device`'s mix format, fills its buffer with
  // silence and starts it, replacing any stream it had. On failure nothing is
  // left open and the result is the failing call's HRESULT. Never a
  // recording failure: without it the mixer keeps its longer wait.
  HRESULT Open(IMMDevice* device);
  // Writes silence into the buffer's free space, so the stream never runs
  // dry between two steps. A stream that fails (its device went away) is
  // closed.
  void TopUp();
  // Stops and releases the stream. Harmless when nothing is open.
  void Close();

 private:
  ComRef<IAudioClient> client_;
  ComRef<IAudioRenderClient> render_;
  UINT32 buffer_frames_ = 0;
  bool started_ = false;
};

}  // namespace morl::recorder
