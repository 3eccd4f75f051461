// Control API of what the machine's work costs in machine time, for tests
// and the machine file's "costs" key: how long the graphics hardware and the
// encoders take per million pixels of a frame, spent inside the call that
// does the work: the GPU's (duplication, the hardware encoder) as a wait on
// the machine's clock, the processor's (BitBlt's read-back, the software
// encoder) as processor time of the thread doing it. Both are machine time,
// so they scale with "clock" speed. All default to 0 (the work takes no
// machine time beyond what the processor spends).
#pragma once

namespace winsim {

struct Costs {
  double bitblt_ms_per_mpixel = 0;           // BitBlt from the screen
  double duplication_ms_per_mpixel = 0;      // IDXGIOutputDuplication::AcquireNextFrame
  double software_encode_ms_per_mpixel = 0;  // the sink writer's software H.264 encoder
  double hardware_encode_ms_per_mpixel = 0;  // the GPU's H.264 encoder
};

void SetCosts(const Costs& costs);
Costs MachineCosts();

// The processor time this process spent doing, in the simulation, what a GPU
// does on Windows at no processor cost: composing desktop frames for
// duplication, copying and clearing textures, reading textures into encoder
// input. Benchmarks take it off the process's time.
double SimulatedGpuProcessorMs();

}  // namespace winsim
