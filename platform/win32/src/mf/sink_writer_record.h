// The machine's record of sink writers (winsim::SinkWriters) as the writers
// fill it in, and the switches tests set on them. Thread-safe.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "winsim.h"

namespace winsim {

// One writer's place in the record. A handle from before ResetSinkWriters
// silently updates nothing.
class SinkRecordHandle {
 public:
  static SinkRecordHandle Add(SinkWriterRecord record);
  void Update(const std::function<void(SinkWriterRecord&)>& change) const;

 private:
  std::size_t generation_ = 0;
  std::size_t index_ = 0;
};

bool SinkEncodingEnabled();
// The room left on the volume of the writers' files; -1: unlimited.
std::int64_t DiskFreeBytes();
// The video encoder's latency in frames for writers created from now on (the
// machine file's "encoder": {"latency_frames": N}; 0 after ResetMachine).
void SetEncoderLatencyFrames(int frames);
int EncoderLatencyFrames();
// The largest frame the H.264 encoder takes (the machine file's "encoder":
// {"max_width": W, "max_height": H}; 4096 x 2304 after ResetMachine).
void SetEncoderMaxFrameSize(std::uint32_t width, std::uint32_t height);
void EncoderMaxFrameSize(std::uint32_t* width, std::uint32_t* height);

// Blocks the calling encoder while HoldSinkEncoding(true) is in force,
// unless `abandon` becomes true (then WakeSinkEncoders must be called).
void WaitWhileSinkEncodingHeld(const std::atomic<bool>& abandon);
void WakeSinkEncoders();

}  // namespace winsim
