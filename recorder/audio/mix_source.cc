#include "recorder/audio/mix_source.h"

#include <audioclient.h>

#include "recorder/now_100ns.h"

namespace morl::recorder {

Status MixSource::Open(IMMDevice* device, bool loopback) {
  Status opened = endpoint.Open(device, loopback);
  if (opened) resampler.SetInputRate(endpoint.format().sample_rate);
  return opened;
}

void MixSource::Reset() {
  endpoint.Reset();
  samples.release();
  placement = PacketPlacement();
  resampler.Restart();
}

void MixSource::Drain(const RecordingClock* clock, LevelMeter* meter) {
  if (!endpoint.active()) return;
  endpoint.ReadPackets(
      [this, clock, meter](const CapturedPacket& packet) { Queue(packet, clock, meter); });
  // Keep at most two seconds of input: a source faster than the clock loses
  // its oldest audio instead of growing without bound.
  const std::size_t bound = static_cast<std::size_t>(endpoint.format().sample_rate) * 4;
  if (samples.size() > bound) {
    const std::size_t excess = (samples.size() - bound) & ~static_cast<std::size_t>(1);
    samples.drop_front(excess);
    resampler.FrontDropped(excess / 2);
    placement.FrontDropped(excess / 2);
  }
}

void MixSource::Queue(const CapturedPacket& packet, const RecordingClock* clock,
                      LevelMeter* meter) {
  const CaptureFormat& format = endpoint.format();
  const PacketTiming timing{packet.frames, packet.device_position, packet.qpc_position,
                            (packet.flags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY) != 0};
  const PacketPlacement::Kept kept =
      placement.Admit(timing, format.sample_rate, clock, samples, resampler);
  if (kept.keep <= 0) return;
  const std::size_t added = 2 * static_cast<std::size_t>(kept.keep);
  float* out = samples.append_silence(added);  // zeros: silence
  if ((packet.flags & AUDCLNT_BUFFERFLAGS_SILENT) == 0 && packet.data != nullptr) {
    const BYTE* first = packet.data + static_cast<std::size_t>(kept.skip) * format.FrameBytes();
    format.ToStereo(first, static_cast<UINT32>(kept.keep), out);
  }
  if (meter != nullptr) {
    meter->Add(LevelMeter::Peak(out, added), Now100ns());
  }
}

}  // namespace morl::recorder
