// The message queue on the machine's manual clock. (The queue and timer
// rules Windows documents are contract cases: tests/contract/user_contract_test.)
#include "user_test_support.h"

namespace {

using user_test::WindowingTest;

TEST_F(WindowingTest, TimersFollowAManualClock) {
  winsim::UseManualClock(0, 10'000'000);
  HWND hwnd = Create();
  SetTimer(hwnd, 1, 100, nullptr);
  MSG msg{};
  winsim::AdvanceClock(99 * 10'000);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "not due before 100 ms";
  winsim::AdvanceClock(10'000);
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_TIMER);
  EXPECT_EQ(msg.time, 100u);
  // Waiting for the next one moves the standing clock on to it.
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_TIMER);
  EXPECT_EQ(msg.time, 200u);
  winsim::UseRealClock();
}

}  // namespace
