// The message queue: posting, peeking, WM_QUIT, cross-thread posts, timers.
#include <thread>

#include "user_test_support.h"

namespace {

using user_test::Hook;
using user_test::WindowingTest;

TEST_F(WindowingTest, PostedMessagesComeInOrderAndQuitComesAfterThem) {
  HWND hwnd = Create();
  std::vector<UINT> dispatched;
  Hook() = [&](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
    if (message >= WM_APP) dispatched.push_back(message);
    return false;
  };
  PostMessageW(hwnd, WM_APP + 1, 0, 0);
  PostQuitMessage(7);
  PostMessageW(hwnd, WM_APP + 2, 0, 0);
  MSG msg{};
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_APP + 1) << "peeking without removal leaves it queued";
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_APP + 2, WM_APP + 2, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_APP + 2) << "the range filter skips the first";
  while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(dispatched, (std::vector<UINT>{WM_APP + 1, WM_APP + 2}));
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "WM_QUIT is retrieved once";
  EXPECT_FALSE(PostMessageW(reinterpret_cast<HWND>(0x4), WM_APP, 0, 0));
}

TEST_F(WindowingTest, AWorkerPostWakesABlockedGetMessage) {
  HWND hwnd = Create();
  std::thread worker([hwnd] { PostMessageW(hwnd, WM_APP + 3, 42, 0); });
  MSG msg{};
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  worker.join();
  EXPECT_EQ(msg.hwnd, hwnd);
  EXPECT_EQ(msg.wParam, 42u);
}

TEST_F(WindowingTest, TimersFireUntilKilledAndDieWithTheirWindow) {
  HWND hwnd = Create();
  ASSERT_EQ(SetTimer(hwnd, 5, 10, nullptr), 5u);
  MSG msg{};
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(std::make_pair(msg.hwnd, msg.message), std::make_pair(hwnd, WM_TIMER));
    EXPECT_EQ(msg.wParam, 5u);
  }
  EXPECT_TRUE(KillTimer(hwnd, 5));
  EXPECT_FALSE(KillTimer(hwnd, 5));

  SetTimer(hwnd, 6, 10, nullptr);
  DestroyWindow(hwnd);
  PostQuitMessage(0);
  EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0)) << "no timer of a destroyed window is left";
}

int g_timer_calls = 0;
void CountTimer(HWND, UINT, UINT_PTR, DWORD) { ++g_timer_calls; }

TEST_F(WindowingTest, ThreadTimerRunsItsProcedureOnDispatch) {
  g_timer_calls = 0;
  const UINT_PTR id = SetTimer(nullptr, 0, 10, CountTimer);
  ASSERT_NE(id, 0u);
  MSG msg{};
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  DispatchMessageW(&msg);
  EXPECT_EQ(g_timer_calls, 1);
  EXPECT_TRUE(KillTimer(nullptr, id));
}

}  // namespace

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
