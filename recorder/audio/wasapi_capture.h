// WasapiCapture: the state of one capturing audio endpoint (the loopback of
// the playback device or the shared-mode microphone). Captured audio waits in
// `samples` as interleaved stereo floats until the mixer consumes it.
//
// Placement on the recording's clock: every packet comes with its device
// position (its first frame's place in the endpoint's stream) and its QPC
// position (the performance counter, in 100-ns units, when that frame was
// sampled). The latest packet anchors the queue on the recording's clock, so
// each queued frame knows the output frame it belongs to, however late the
// packet arrived. Packets that follow each other in device position are
// queued back to back; a gap in position or in time, or the discontinuity
// flag, means the device delivered nothing there, and silence takes its
// place. Render compares where the frame it reads belongs with the output
// frame asked for: a small difference (a device clock off the counter) is
// corrected by a smooth change of the resampling step, a large one (the
// first packet, audio that resumes, a burst later than the mixer waited)
// by holding silence until the audio's time, or by skipping what is past.
#pragma once

#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "recorder/audio/level_meter.h"
#include "recorder/audio/sample_queue.h"
#include "recorder/audio/stereo_downmix.h"
#include "recorder/recorder_error.h"
#include "recorder/recording_clock.h"
#include "win32_support/com_ref.h"

namespace morl::recorder {

struct WasapiCapture {
  WasapiCapture() = default;
  ~WasapiCapture() { Reset(); }
  WasapiCapture(const WasapiCapture&) = delete;
  WasapiCapture& operator=(const WasapiCapture&) = delete;

  // The endpoint captured: its id, whether it is the playback stream
  // (loopback) and whether the capture follows the default endpoint. Set by
  // Open and the set-up, forgotten by Reset.
  std::wstring endpointId;
  bool isLoopback = false;
  bool followsDefault = false;
  // Why the capture stopped delivering (its device went away), or S_OK.
  HRESULT lostHr = S_OK;

  ComRef<IAudioClient> audioClient;
  ComRef<IAudioCaptureClient> captureClient;
  std::uint32_t sampleRate = 0;        // frames per second of the mix format
  std::uint32_t channels = 0;          // channels of the mix format
  std::vector<StereoWeights> downmix;  // of each channel into left and right
  std::uint32_t bytesPerSample = 0;    // 1 to 4
  bool isFloat = false;                // samples are IEEE 32-bit float
  bool started = false;                // the client was started and must be stopped
  // Open and delivering: all the mixer looks at. Written by the mixer's
  // thread, read by status and the source watch on theirs.
  std::atomic<bool> active{false};
  SampleQueue samples;                 // left, right, left, right ..., oldest first
  double readPos = 0.0;                // resampling position in input frames
  double step = 1.0;                   // input frames per 48 kHz output frame
  double baseStep = 1.0;               // `step` when the device keeps time exactly

  // Placement state (see above). `queueDevice` is the device position of the
  // first queued frame; (anchorDevice, anchorQpc) are the positions of the
  // latest packet.
  bool anchored = false;
  bool placeExactly = false;  // the next Render jumps to the audio's time
  std::int64_t queueDevice = 0;
  std::int64_t anchorDevice = 0;
  std::int64_t anchorQpc = 0;
  // Device frames dropped because the recording was paused: cut out of the
  // device positions, as the paused time is cut out of the capture times.
  std::int64_t pausedFrames = 0;
  // A discontinuity flagged on a packet dropped while paused, kept for the
  // next packet queued.
  bool pendingDiscontinuity = false;

  // Opens `device` for polled shared-mode capture of its mix format (the
  // playback stream when `loopback`) and starts it. A refused sample format
  // gives E_INVALIDARG. A failure's message says which step failed; the
  // caller then resets the capture.
  Status Open(IMMDevice* device, bool loopback);
  // Stops and releases the clients and empties the queue; `step` is kept.
  // Harmless on a capture that was never opened.
  void Reset();
  // Appends every delivered packet to `samples` as stereo float (silence
  // for silent packets) and bounds the queue to two seconds. A failing
  // client (its device invalidated) is released and `lostHr` set. With a `clock`,
  // what was captured while the recording was paused is dropped and the rest
  // placed on recorded time; `meter` gets the peak of what is queued.
  void Drain(const RecordingClock* clock = nullptr, LevelMeter* meter = nullptr);
  // Drain's work on one packet of `frames` frames at `data`.
  void QueueRecordedFrames(const BYTE* data, UINT32 frames, DWORD flags,
                           std::int64_t devicePosition, std::int64_t qpcPosition,
                           const RecordingClock* clock, LevelMeter* meter);
  // The next 48 kHz frame by linear interpolation; false (outputs untouched)
  // while the two input frames it needs are not both queued.
  bool PullFrame(float& left, float& right);
  // Drops the whole input frames already passed; the fraction stays.
  void Consume();

  // Places a packet about to be appended to `samples`: pads the queue with
  // the silence of a gap, or restarts it after a long one, and anchors it on
  // the packet's positions.
  void PlacePacket(std::int64_t devicePosition, std::int64_t qpcPosition, bool discontinuity);
  // Output frame (48 kHz, counted from `origin`, a 100-ns counter time) at
  // which the queued frame `index` plays.
  double OutputFrameOf(double index, std::int64_t origin) const;
  // The output frame up to which (excluded) the queued audio can render when
  // `next` is the next frame asked for, or INT64_MIN before the first packet.
  std::int64_t CoveredUntil(std::int64_t origin, std::int64_t next) const;
  // Output frame `frame` of this source: false (outputs untouched) when it
  // holds nothing for that frame, which then plays as silence.
  bool Render(std::int64_t frame, std::int64_t origin, float& left, float& right);
};

}  // namespace morl::recorder
