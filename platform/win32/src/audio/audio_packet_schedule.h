// When an endpoint's packets become available to a capture client, and
// which of them the 200 ms endpoint buffer still holds. Pure logic over
// the time it is given, so tests drive it exactly.
//
// While started, the device samples frames at its own rate, which the
// device conditions may set off from the machine clock; packet k (from 0)
// holds the frames of device time [10 ms x k, 10 ms x (k + 1)) and is
// complete when the last of them is sampled. Running time counts only the
// time the stream was started. A packet becomes available when complete,
// plus its jitter, and never before the packet ahead of it; one falling in
// a stall waits for the stall's end. A packet held longer than the buffer's
// 200 ms is overwritten, and the next packet read reports the gap.
#pragma once

#include <cstdint>
#include <deque>
#include <limits>
#include <vector>

#include "winsim_audio.h"

namespace winsim {
namespace audio {

class PacketSchedule {
 public:
  static constexpr std::int64_t kPacket100ns = 100'000;  // 10 ms
  static constexpr std::int64_t kBufferPackets = 20;     // 200 ms

  // `bounded` false keeps every packet however long it waits (a device
  // source's reader queues what it has not read yet).
  PacketSchedule(std::uint32_t rate, const DeviceConditions& conditions, bool bounded = true);

  bool running() const { return running_; }
  void Start(std::int64_t now);
  void Stop(std::int64_t now);
  // Drops every packet made so far (the stream must be stopped).
  void Reset();

  // Makes the packets available by `now` and drops those the buffer no
  // longer holds. With `discard` (a loopback while nothing plays) every
  // packet that became available by machine time `kept_from` is dropped
  // without reporting a gap (a render stream of this process started then
  // keeps the engine's mix going). Not called while a packet is lent out,
  // so the lent packet is never dropped.
  void Advance(std::int64_t now, bool discard,
               std::int64_t kept_from = std::numeric_limits<std::int64_t>::max());

  std::int64_t pending() const { return static_cast<std::int64_t>(held_.size()); }
  // Frames of every packet held.
  std::int64_t PendingFrames() const;
  // Packets the device has completed so far, held or not: a render stream
  // has played FramesBefore(made(), rate) frames of device time.
  std::int64_t made() const { return made_; }
  // The oldest packet still held (pending() > 0).
  std::int64_t next_index() const { return held_.front().index; }
  std::uint32_t FramesOf(std::int64_t index) const;
  std::int64_t FirstFrameOf(std::int64_t index) const;
  // Machine time at which the device sampled frame `frame` of the stream.
  double SampledAt(std::int64_t frame) const;
  // Machine time of one frame period of the device.
  double FramePeriod() const;
  // Machine time at which the next packet not yet made becomes available,
  // if the stream keeps running.
  std::int64_t NextAvailableAt() const;
  // Whether packets were lost since the last call; clears the mark.
  bool TakeDiscontinuity();
  void Consume() { held_.pop_front(); }

 private:
  struct Held {
    std::int64_t index;
    std::int64_t available;  // running time
  };
  // A run of the stream: the running time and the machine time at its Start.
  struct Run {
    std::int64_t running;
    std::int64_t machine;
  };

  std::int64_t RunningAt(std::int64_t now) const;
  double MachineAt(double running) const;
  // Running time at which packet `index` becomes available, given when the
  // packet ahead of it did.
  std::int64_t AvailableAt(std::int64_t index, std::int64_t previous) const;
  bool Unplayed(std::int64_t index) const;

  std::uint32_t rate_;
  DeviceConditions conditions_;
  bool bounded_;
  double speed_;  // device time per machine time
  bool running_ = false;
  std::vector<Run> runs_;
  std::int64_t ran_before_ = 0;  // running time before the last Start
  std::int64_t made_ = 0;        // packets available so far
  std::int64_t last_available_ = 0;
  std::deque<Held> held_;
  bool lost_ = false;
};

}  // namespace audio
}  // namespace winsim
