#include "audio_packet_schedule.h"

#include "audio_state.h"

namespace winsim {
namespace audio {

void PacketSchedule::Start(std::int64_t now) {
  if (running_) return;
  running_ = true;
  started_at_ = now;
}

void PacketSchedule::Stop(std::int64_t now) {
  if (!running_) return;
  ran_before_ += now - started_at_;
  running_ = false;
}

void PacketSchedule::Reset() {
  // Packets completed before the stream stopped are pending too, even if
  // no read has counted them yet: Reset flushes them with the rest.
  if (ran_before_ / kPacket100ns > made_) made_ = ran_before_ / kPacket100ns;
  next_ = made_;
  lost_ = false;
}

void PacketSchedule::Advance(std::int64_t now, bool discard) {
  const std::int64_t ran = ran_before_ + (running_ ? now - started_at_ : 0);
  if (ran / kPacket100ns > made_) made_ = ran / kPacket100ns;
  if (discard) {
    next_ = made_;
    return;
  }
  if (made_ - next_ > kBufferPackets) {
    next_ = made_ - kBufferPackets;
    lost_ = true;
  }
}

std::uint32_t PacketSchedule::FramesOf(std::int64_t index) const {
  return static_cast<std::uint32_t>(FramesBefore(index + 1, rate_) - FramesBefore(index, rate_));
}

std::int64_t PacketSchedule::FirstFrameOf(std::int64_t index) const {
  return FramesBefore(index, rate_);
}

bool PacketSchedule::TakeDiscontinuity() {
  const bool lost = lost_;
  lost_ = false;
  return lost;
}

}  // namespace audio
}  // namespace winsim
