// MixSource: one capture of the computer-audio mix (the loopback of the
// playback device or the shared-mode microphone) from its endpoint to the
// 48 kHz output. The pipeline: the endpoint hands out packets; the placement
// cuts what was captured while the recording was paused and places the rest
// on the recording's clock; the packets wait in `samples` as interleaved
// stereo floats; the resampler reads them at the output rate where the
// placement says the output frame's audio is.
#pragma once

#include <cstdint>

#include "recorder/audio/capture_endpoint.h"
#include "recorder/audio/level_meter.h"
#include "recorder/audio/packet_placement.h"
#include "recorder/audio/sample_queue.h"
#include "recorder/audio/stereo_resampler.h"
#include "recorder/recorder_error.h"
#include "recorder/recording_clock.h"

namespace morl::recorder {

struct MixSource {
  CaptureEndpoint endpoint;
  SampleQueue samples;  // left, right, left, right ..., oldest first
  PacketPlacement placement;
  StereoResampler resampler;

  // Opens the endpoint (see CaptureEndpoint::Open) and reads it at its rate.
  Status Open(IMMDevice* device, bool loopback);
  // Resets the endpoint and empties the queue; the resampler's step is kept.
  void Reset();
  // Appends every packet that arrived to `samples` as stereo float (silence
  // for silent packets) and bounds the queue to two seconds. With a `clock`,
  // what was captured while the recording was paused is dropped and the rest
  // placed on recorded time; `meter` gets the peak of what is queued.
  void Drain(const RecordingClock* clock = nullptr, LevelMeter* meter = nullptr);
  // The output frame up to which (excluded) the queued audio can render when
  // `next` is the next frame asked for (see PacketPlacement::CoveredUntil).
  std::int64_t CoveredUntil(std::int64_t origin, std::int64_t next) const {
    return placement.CoveredUntil(samples, resampler, origin, next);
  }
  // Output frame `frame` of this source: false (outputs untouched) when it
  // holds nothing for that frame, which then plays as silence.
  bool Render(std::int64_t frame, std::int64_t origin, float& left, float& right) {
    if (!placement.Align(resampler, frame, origin)) return false;
    if (resampler.Pull(samples, left, right)) return true;
    // The mixer stopped waiting for this source (a stalled device): the
    // audio it delivers next is placed by its time, not steered from here.
    placement.PlaceNextByTime();
    return false;
  }
  // Drops the whole input frames already read; the fraction stays.
  void Consume() { placement.FrontDropped(resampler.Consume(samples)); }

 private:
  // Drain's work on one packet.
  void Queue(const CapturedPacket& packet, const RecordingClock* clock, LevelMeter* meter);
};

}  // namespace morl::recorder
