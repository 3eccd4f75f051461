// When an endpoint's packets become available to a capture client, and
// which of them the 200 ms endpoint buffer still holds. Pure logic over
// the time it is given, so tests drive it exactly.
//
// While started, packet k (from 0) is complete 10 ms x (k + 1) after the
// stream started, counting only running time. Packets older than the
// buffer's 20 are overwritten; the next packet read reports the gap.
#pragma once

#include <cstdint>

namespace winsim {
namespace audio {

class PacketSchedule {
 public:
  static constexpr std::int64_t kPacket100ns = 100'000;  // 10 ms
  static constexpr std::int64_t kBufferPackets = 20;     // 200 ms

  explicit PacketSchedule(std::uint32_t rate) : rate_(rate) {}

  bool running() const { return running_; }
  void Start(std::int64_t now);
  void Stop(std::int64_t now);
  // Drops every packet made so far (the stream must be stopped).
  void Reset();

  // Counts the packets completed by `now` and drops those the buffer no
  // longer holds. With `discard` (a loopback while nothing plays) every
  // packet is dropped without reporting a gap. Not called while a packet
  // is lent out, so the lent packet is never dropped.
  void Advance(std::int64_t now, bool discard);

  std::int64_t pending() const { return made_ - next_; }
  std::int64_t next_index() const { return next_; }
  std::uint32_t FramesOf(std::int64_t index) const;
  std::int64_t FirstFrameOf(std::int64_t index) const;
  // Stream time (running time) at which packet `index` was complete.
  std::int64_t CompletedAt(std::int64_t index) const { return (index + 1) * kPacket100ns; }
  // Whether packets were lost since the last call; clears the mark.
  bool TakeDiscontinuity();
  void Consume() { ++next_; }

 private:
  std::uint32_t rate_;
  bool running_ = false;
  std::int64_t started_at_ = 0;  // machine time of the last Start
  std::int64_t ran_before_ = 0;  // running time before the last Start
  std::int64_t made_ = 0;        // packets completed
  std::int64_t next_ = 0;        // index of the oldest packet still held
  bool lost_ = false;
};

}  // namespace audio
}  // namespace winsim
