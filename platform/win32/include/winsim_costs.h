// Control API of what the machine's work costs in machine time, for tests
// and the machine file's "costs" key: how long the graphics hardware and the
// encoders take per million pixels of a frame. Each cost is spent as a wait
// on the machine's clock inside the call that does the work, not as processor
// time, so it scales with "clock" speed like every other wait. All default
// to 0 (the work takes no machine time beyond what the processor spends).
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

}  // namespace winsim
