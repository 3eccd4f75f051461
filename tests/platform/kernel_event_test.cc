// Waits of the simulated kernel that only the machine has: a refused
// wait-all and waits on the manual clock. (The event and file-move rules
// Windows documents are contract cases: tests/contract/kernel_contract_test.)
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>

#include "tests/support/machine_test.h"

namespace {

class KernelEventTest : public machine_test::MachineTest {};

// The machine waits for one handle of many only.
TEST_F(KernelEventTest, WaitForMultipleRefusesWaitAll) {
  HANDLE events[2] = {CreateEventW(nullptr, TRUE, TRUE, nullptr),
                      CreateEventW(nullptr, TRUE, TRUE, nullptr)};
  EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), WAIT_FAILED);
  for (HANDLE e : events) CloseHandle(e);
}

TEST_F(KernelEventTest, TimedWaitOnTheManualClockSleepsAndSeesWhatTheHookSignalled) {
  winsim::UseManualClock(0);
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  int sleeps = 0;
  winsim::SetSleepHook([&](DWORD ms) {
    EXPECT_EQ(ms, 66u);
    if (++sleeps == 2) SetEvent(event);
  });
  LARGE_INTEGER before{}, after{};
  QueryPerformanceCounter(&before);
  EXPECT_EQ(WaitForSingleObject(event, 66), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(event, 66), WAIT_OBJECT_0);
  QueryPerformanceCounter(&after);
  // Each wait ends on a 15.625-ms tick: the first at 78.125 ms, the second
  // (due at 144.125) at 156.25.
  EXPECT_EQ(after.QuadPart - before.QuadPart, 1'562'500);
  EXPECT_EQ(WaitForSingleObject(event, 66), WAIT_OBJECT_0);  // already set: no sleep
  EXPECT_EQ(sleeps, 2);
  CloseHandle(event);
}

}  // namespace
