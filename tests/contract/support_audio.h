// Opening the default audio endpoints and reading their packets for the
// audio cases, through the public Core Audio API only.
#pragma once

#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <vector>

#include "contract_support.h"

namespace contract {

// The calling thread in the multithreaded apartment for one case.
class MtaScope {
 public:
  MtaScope() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  MtaScope(const MtaScope&) = delete;
  MtaScope& operator=(const MtaScope&) = delete;
  ~MtaScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  HRESULT Result() const { return hr_; }

 private:
  HRESULT hr_;
};

// How to read one sample of a mix format; `readable` is false for layouts
// other than 32-bit float and 16- or 32-bit integer PCM.
struct SampleLayout {
  bool readable = false;
  bool is_float = false;
  UINT32 bytes_per_sample = 0;
};
SampleLayout LayoutOf(const WAVEFORMATEX& format);

// The default endpoint of one direction, its audio client and mix format.
class EndpointStream {
 public:
  EndpointStream() = default;
  EndpointStream(const EndpointStream&) = delete;
  EndpointStream& operator=(const EndpointStream&) = delete;
  ~EndpointStream();

  // Enumerator, default endpoint (console role), IAudioClient, mix format.
  HRESULT Open(EDataFlow flow);
  // Shared mode at the mix format.
  HRESULT Initialize(DWORD stream_flags, REFERENCE_TIME buffer_duration);
  // The capture service, then Start.
  HRESULT StartCapture();

  IMMDevice* Device() const { return device_.Get(); }
  IAudioClient* Client() const { return client_.Get(); }
  IAudioCaptureClient* Capture() const { return capture_.Get(); }
  const WAVEFORMATEX* Mix() const { return mix_; }

 private:
  ComRef<IMMDeviceEnumerator> enumerator_;
  ComRef<IMMDevice> device_;
  ComRef<IAudioClient> client_;
  ComRef<IAudioCaptureClient> capture_;
  WAVEFORMATEX* mix_ = nullptr;
};

// What a started capture delivered over a stretch of time.
struct PacketRecord {
  HRESULT failure = S_OK;  // the first failed call, if any
  UINT64 frames = 0;
  int packets = 0;
  int silent_packets = 0;
  int discontinuities = 0;
  int position_gaps = 0;        // device positions not following the previous packet
  int size_mismatches = 0;      // GetNextPacketSize disagreeing with GetBuffer
  std::vector<float> first;     // the first channel; silent packets as zeros
  float loudest_in_silent = 0;  // largest |sample| inside packets flagged silent
  UINT32 largest_packet = 0;    // frames
  // What the first read drained (captured before the measured stretch, so
  // however long the wait for it took), and the seconds from that read to
  // the final one: the frames after the first read follow the clock.
  UINT64 first_read_frames = 0;
  double seconds = 0;
  double longest_wait_ms = 0;  // between two reads; past the buffer, packets are lost
};

// Waits up to a second for the first packet, then drains every packet for
// `ms` milliseconds from its arrival, polling every 5 ms (well inside the
// buffer even on a busy machine), and once more at the end.
PacketRecord ReadPackets(const EndpointStream& stream, DWORD ms);

// Opens, initializes (loopback for the render endpoint, 200 ms buffer) and
// starts the default endpoint of `flow`, then reads for `ms`.
PacketRecord CaptureFor(EDataFlow flow, DWORD ms, DWORD* rate);

}  // namespace contract
