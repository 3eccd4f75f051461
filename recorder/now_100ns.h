// The recorder's clock: a monotonic count of 100-ns ticks from the
// performance counter. Safe on any thread.
#pragma once

#include <cstdint>

namespace morl::recorder {

std::int64_t Now100ns();

// Converts a performance-counter reading at `frequency` counts per second to
// 100-ns ticks. Whole seconds and the remainder are scaled separately so the
// product cannot overflow for any counter value. A non-positive frequency
// gives 0.
std::int64_t CounterTo100ns(std::int64_t counter, std::int64_t frequency);

}  // namespace morl::recorder
