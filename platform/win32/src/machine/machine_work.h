// Work that takes machine time, for the costs of the machine file's "costs"
// key. Durations are machine milliseconds, so they shrink with the clock's
// speed like every other wait. Under the manual clock, which only tests
// move, work takes no time.
#pragma once

namespace winsim {

// The processor computes for `machine_ms` on the calling thread: the thread
// uses that much processor time (at the clock's speed), busy all along as
// encoding or copying pixels is, so on a loaded host it takes longer.
void SpendProcessorTime(double machine_ms);

// The calling thread waits `machine_ms` for a device (the GPU) without using
// the processor.
void WaitForDevice(double machine_ms);

// Marks the calling thread's work, while it lives, as what a GPU does on
// Windows (composing a desktop frame, copying or clearing textures, an
// encoder reading its input) or what other programs do (drawing an animated
// desktop): the processor time it takes here is added to
// SimulatedGpuProcessorMs (winsim_costs.h). Nested marks count once.
class GpuWork {
 public:
  GpuWork();
  ~GpuWork();
  GpuWork(const GpuWork&) = delete;
  GpuWork& operator=(const GpuWork&) = delete;

 private:
  long long started_ns_ = 0;
};

// A cost of `ms_per_mpixel` for `pixels` pixels, in machine milliseconds.
inline double CostOf(double ms_per_mpixel, double pixels) { return ms_per_mpixel * pixels / 1e6; }

}  // namespace winsim
