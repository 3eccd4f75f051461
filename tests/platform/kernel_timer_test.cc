// The machine's timer: sleeps and timed waits end on its ticks, the process
// makes them finer with timeBeginPeriod, and the real clock runs at the
// machine's speed.
#include <gtest/gtest.h>
#include <timeapi.h>
#include <windows.h>
#include <winsim.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/machine_test.h"

namespace {

class KernelTimerTest : public machine_test::MachineTest {};

std::int64_t Counter() {
  LARGE_INTEGER c{};
  QueryPerformanceCounter(&c);
  return c.QuadPart;
}

TEST_F(KernelTimerTest, SleepsAndTimedWaitsEndOnTheFirstTickAtOrAfterTheirDueTime) {
  const struct Case {
    const char* what;
    double machine_ms;
    std::vector<UINT> begun, ended;
    std::int64_t start;  // 100-ns ticks
    DWORD ms;
    std::int64_t end;
  } cases[] = {
      {"default machine: 1 ms lasts to the first tick", 15.625, {}, {}, 0, 1, 156'250},
      {"due on a tick ends on it", 15.625, {}, {}, 6'250, 15, 156'250},
      {"due just past a tick waits for the next", 15.625, {}, {}, 6'251, 15, 312'500},
      {"the machine file's resolution", 1, {}, {}, 5'000, 1, 20'000},
      {"a half-millisecond machine", 0.5, {}, {}, 1, 1, 15'000},
      {"timeBeginPeriod(1) on the default machine", 15.625, {1}, {}, 5'000, 16, 170'000},
      {"the finest period begun is in force", 15.625, {5, 2}, {}, 0, 3, 40'000},
      {"a period coarser than the machine's changes nothing", 1, {10}, {}, 5'000, 1, 20'000},
      {"one of two equal periods ended: the other holds", 15.625, {1, 1}, {1}, 0, 1, 10'000},
      {"the finest ended: the next one holds", 15.625, {1, 5}, {1}, 0, 1, 50'000},
      {"every period ended: the machine's again", 15.625, {1}, {1}, 0, 1, 156'250},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    winsim::ResetMachine();
    ASSERT_TRUE(winsim::SetTimerResolution(c.machine_ms));
    for (UINT p : c.begun) ASSERT_EQ(timeBeginPeriod(p), TIMERR_NOERROR);
    for (UINT p : c.ended) ASSERT_EQ(timeEndPeriod(p), TIMERR_NOERROR);
    winsim::UseManualClock(c.start);
    Sleep(c.ms);
    EXPECT_EQ(Counter(), c.end) << "Sleep";
    winsim::UseManualClock(c.start);
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, c.ms), WAIT_TIMEOUT);
    EXPECT_EQ(Counter(), c.end) << "WaitForSingleObject";
    CloseHandle(event);
  }
}

TEST_F(KernelTimerTest, PeriodsOutOfRangeOrNeverBegunAreRefusedAndChangeNothing) {
  TIMECAPS caps{};
  ASSERT_EQ(timeGetDevCaps(&caps, sizeof caps), TIMERR_NOERROR);
  EXPECT_EQ(caps.wPeriodMin, 1u);
  EXPECT_EQ(caps.wPeriodMax, 1'000'000u);
  EXPECT_EQ(timeGetDevCaps(&caps, sizeof caps - 1), TIMERR_NOCANDO);
  EXPECT_EQ(timeGetDevCaps(nullptr, sizeof caps), TIMERR_NOCANDO);
  const struct {
    bool begin;
    UINT period;
    MMRESULT result;
  } calls[] = {
      {true, 0, TIMERR_NOCANDO},          {true, 1'000'001, TIMERR_NOCANDO},
      {false, 0, TIMERR_NOCANDO},         {false, 1'000'001, TIMERR_NOCANDO},
      {false, 7, TIMERR_NOCANDO},         {true, 1'000'000, TIMERR_NOERROR},
      {false, 1'000'000, TIMERR_NOERROR}, {false, 1'000'000, TIMERR_NOCANDO},
  };
  for (const auto& c : calls) {
    SCOPED_TRACE(std::string(c.begin ? "begin " : "end ") + std::to_string(c.period));
    EXPECT_EQ(c.begin ? timeBeginPeriod(c.period) : timeEndPeriod(c.period), c.result);
    EXPECT_EQ(winsim::TimerResolutionInForce(), 15.625);
  }
  EXPECT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);
  EXPECT_EQ(winsim::TimerResolutionInForce(), 1.0);
  winsim::ResetMachine();  // ends what a test left begun
  EXPECT_EQ(winsim::TimerResolutionInForce(), 15.625);
  EXPECT_FALSE(winsim::SetTimerResolution(0.49));
  EXPECT_FALSE(winsim::SetTimerResolution(15.7));
  EXPECT_EQ(winsim::TimerResolutionInForce(), 15.625);
}

LARGE_INTEGER DueTime(std::int64_t ticks) {
  LARGE_INTEGER due{};
  due.QuadPart = ticks;
  return due;
}

// Each case sets a timer at machine time 0 of a manual clock and runs its
// steps; every wait is on [an event never set, the timer], so it also shows
// that such a wait ends at the earlier of its timeout and the timer.
TEST_F(KernelTimerTest, WaitableTimersAreSignalledOnTimeAndResetAsTheirKindSays) {
  enum Op { kWait, kSleep, kCancel, kSetAgain };
  constexpr DWORD kTimer = WAIT_OBJECT_0 + 1;
  constexpr DWORD kHigh = CREATE_WAITABLE_TIMER_HIGH_RESOLUTION;
  constexpr DWORD kManual = CREATE_WAITABLE_TIMER_MANUAL_RESET;
  struct Step {
    Op op;
    DWORD ms;
    DWORD result;        // of a wait
    std::int64_t clock;  // after the step, 100-ns ticks
  };
  const struct Case {
    const char* what;
    DWORD flags;
    bool period_1ms;   // timeBeginPeriod(1)
    bool absolute;     // `due` from the system time at machine time 0
    std::int64_t due;  // 100-ns ticks
    LONG period;
    std::vector<Step> steps;
  } cases[] = {
      {"relative, on the next 15.625-ms tick; auto-reset after one wait",
       0,
       false,
       false,
       200'000,
       0,
       {{kWait, 0, WAIT_TIMEOUT, 0},
        {kWait, INFINITE, kTimer, 312'500},
        {kWait, 0, WAIT_TIMEOUT, 312'500},
        {kWait, 100, WAIT_TIMEOUT, 1'406'250}}},
      {"high resolution is exact",
       kHigh,
       false,
       false,
       200'000,
       0,
       {{kWait, INFINITE, kTimer, 200'000}}},
      {"timeBeginPeriod(1): on the next 1-ms tick",
       0,
       true,
       false,
       200'500,
       0,
       {{kWait, INFINITE, kTimer, 210'000}}},
      {"high resolution under timeBeginPeriod(1) is still exact",
       kHigh,
       true,
       false,
       200'500,
       0,
       {{kWait, INFINITE, kTimer, 200'500}}},
      {"absolute", 0, false, true, 250'000, 0, {{kWait, INFINITE, kTimer, 312'500}}},
      {"absolute in the past: signalled at once",
       kHigh,
       false,
       true,
       -1,
       0,
       {{kWait, 0, kTimer, 0}}},
      {"a timeout before the due time wins",
       kHigh,
       false,
       false,
       500'000,
       0,
       {{kWait, 20, WAIT_TIMEOUT, 312'500}, {kWait, 1000, kTimer, 500'000}}},
      {"manual reset stays signalled",
       kManual | kHigh,
       false,
       false,
       100'000,
       0,
       {{kWait, INFINITE, kTimer, 100'000},
        {kWait, 0, kTimer, 100'000},
        {kWait, 1000, kTimer, 100'000}}},
      {"periodic: every period after the due time",
       kHigh,
       false,
       false,
       100'000,
       10,
       {{kWait, INFINITE, kTimer, 100'000},
        {kWait, INFINITE, kTimer, 200'000},
        {kWait, INFINITE, kTimer, 300'000},
        {kWait, 0, WAIT_TIMEOUT, 300'000}}},
      {"periodic on ticks: periods due on one tick signal once",
       0,
       false,
       false,
       100'000,
       10,
       {{kWait, INFINITE, kTimer, 156'250},
        {kWait, INFINITE, kTimer, 312'500},
        {kWait, INFINITE, kTimer, 468'750}}},
      {"periods missed are not queued",
       kHigh,
       false,
       false,
       100'000,
       10,
       {{kSleep, 50, 0, 625'000},
        {kWait, 0, kTimer, 625'000},
        {kWait, 0, WAIT_TIMEOUT, 625'000},
        {kWait, INFINITE, kTimer, 700'000}}},
      {"cancel stops a periodic timer",
       kHigh,
       false,
       false,
       100'000,
       10,
       {{kWait, INFINITE, kTimer, 100'000},
        {kCancel, 0, 0, 100'000},
        {kWait, 50, WAIT_TIMEOUT, 625'000}}},
      {"cancel keeps the state a passed due time gave",
       kHigh,
       false,
       false,
       100'000,
       0,
       {{kSleep, 1, 0, 156'250},
        {kCancel, 0, 0, 156'250},
        {kWait, 0, kTimer, 156'250},
        {kWait, 0, WAIT_TIMEOUT, 156'250}}},
      {"setting again resets and re-arms",
       kManual | kHigh,
       false,
       false,
       100'000,
       0,
       {{kWait, INFINITE, kTimer, 100'000},
        {kSetAgain, 0, 0, 100'000},
        {kWait, 0, WAIT_TIMEOUT, 100'000},
        {kWait, INFINITE, kTimer, 200'000}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    winsim::ResetMachine();
    winsim::UseManualClock(0);
    if (c.period_1ms) {
      ASSERT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);
    }
    FILETIME zero{};
    GetSystemTimeAsFileTime(&zero);
    const std::int64_t system_zero =
        static_cast<std::int64_t>(std::uint64_t{zero.dwHighDateTime} << 32 | zero.dwLowDateTime);
    HANDLE handles[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr),
                         CreateWaitableTimerExW(nullptr, nullptr, c.flags, TIMER_ALL_ACCESS)};
    ASSERT_NE(handles[1], nullptr);
    LARGE_INTEGER due = DueTime(c.absolute ? system_zero + c.due : -c.due);
    ASSERT_TRUE(SetWaitableTimer(handles[1], &due, c.period, nullptr, nullptr, FALSE));
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const Step& step = c.steps[i];
      SCOPED_TRACE("step " + std::to_string(i));
      if (step.op == kWait) {
        EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, step.ms), step.result);
      } else if (step.op == kSleep) {
        Sleep(step.ms);
      } else if (step.op == kCancel) {
        EXPECT_TRUE(CancelWaitableTimer(handles[1]));
      } else {
        due = DueTime(-c.due);
        EXPECT_TRUE(SetWaitableTimer(handles[1], &due, c.period, nullptr, nullptr, FALSE));
      }
      EXPECT_EQ(Counter(), step.clock);
    }
    for (HANDLE h : handles) EXPECT_TRUE(CloseHandle(h));
  }
}

// Calls the simulation refuses (Wine accepts a negative period and an
// unknown flag), calls on a closed handle (which a real system may have
// handed out again), and what a refused call leaves alive. (Handles of the
// wrong kind are a contract case: tests/contract/kernel_contract_test.)
TEST_F(KernelTimerTest, WaitableTimerCallsTheMachineRefusesFail) {
  const HANDLE timer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const HANDLE closed = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
  ASSERT_TRUE(CloseHandle(closed));
  const LARGE_INTEGER due = DueTime(-10'000);
  const auto apc = [](LPVOID, DWORD, DWORD) {};
  const struct {
    const char* what;
    bool (*call)(HANDLE closed, const LARGE_INTEGER* due);
  } closed_calls[] = {
      {"setting a closed timer",
       [](HANDLE x, const LARGE_INTEGER* d) {
         return SetWaitableTimer(x, d, 0, nullptr, nullptr, FALSE) != FALSE;
       }},
      {"cancelling a closed timer",
       [](HANDLE x, const LARGE_INTEGER*) { return CancelWaitableTimer(x) != FALSE; }},
      {"waiting on a closed timer",
       [](HANDLE x, const LARGE_INTEGER*) { return WaitForSingleObject(x, 0) != WAIT_FAILED; }},
      {"closing a closed timer",
       [](HANDLE x, const LARGE_INTEGER*) { return CloseHandle(x) != FALSE; }},
  };
  for (const auto& c : closed_calls) {
    SCOPED_TRACE(c.what);
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(c.call(closed, &due));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(SetWaitableTimer(timer, &due, 0, apc, nullptr, FALSE)) << "a completion routine";
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(CreateWaitableTimerW(nullptr, FALSE, L"name"), nullptr) << "a named timer";
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(SetWaitableTimer(timer, &due, -1, nullptr, nullptr, FALSE)) << "a negative period";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(CreateWaitableTimerExW(nullptr, nullptr, 0x4, TIMER_ALL_ACCESS), nullptr)
      << "an unknown flag";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(winsim::DescribeLiveObjects(), "other:event x1, other:waitable timer x1");
  CloseHandle(timer);
  CloseHandle(event);
}

// On the real clock, a timer set from another thread wakes a wait already
// under way, and never before its due time. (The upper bound only tells the
// timer from the wait's timeout: the machine may be loaded.)
TEST_F(KernelTimerTest, WaitableTimerOnTheRealClockIsNotSignalledEarly) {
  for (DWORD flags : {DWORD{0}, DWORD{CREATE_WAITABLE_TIMER_HIGH_RESOLUTION}}) {
    SCOPED_TRACE(flags);
    const HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, flags, TIMER_ALL_ACCESS);
    std::int64_t set_at = 0;
    std::thread setter([timer, &set_at] {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      const LARGE_INTEGER due = DueTime(-200'000);
      set_at = Counter();
      EXPECT_TRUE(SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE));
    });
    EXPECT_EQ(WaitForSingleObject(timer, 20'000), WAIT_OBJECT_0);
    const std::int64_t woken_at = Counter();
    setter.join();
    EXPECT_GE(woken_at - set_at, 200'000);
    EXPECT_LT(woken_at - set_at, 100'000'000) << "woken by the timeout, not by the timer";
    CloseHandle(timer);
  }
}

// At speed 20, two seconds of machine time pass in a tenth of a second of
// wall time for every way of waiting; the limit leaves ten times that.
TEST_F(KernelTimerTest, EveryWaitRunsAtTheClockSpeed) {
  std::string error;
  ASSERT_TRUE(winsim::LoadMachineJson(
      R"({"clock": {"speed": 20}, "timer": {"resolution_ms": 2.5}})", &error))
      << error;
  EXPECT_EQ(winsim::TimerResolutionInForce(), 2.5);
  EXPECT_FALSE(winsim::SetClockSpeed(0.99));
  EXPECT_FALSE(winsim::SetClockSpeed(100.5));
  EXPECT_EQ(winsim::ClockSpeed(), 20);
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const struct {
    const char* what;
    void (*wait)(HANDLE event);
  } waits[] = {
      {"Sleep", [](HANDLE) { Sleep(2000); }},
      {"WaitForSingleObject",
       [](HANDLE e) { EXPECT_EQ(WaitForSingleObject(e, 2000), WAIT_TIMEOUT); }},
      {"a thread timer",
       [](HANDLE) {
         const UINT_PTR id = SetTimer(nullptr, 0, 2000, nullptr);
         MSG msg{};
         EXPECT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
         EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
         KillTimer(nullptr, id);
       }},
  };
  for (const auto& w : waits) {
    SCOPED_TRACE(w.what);
    const auto wall = std::chrono::steady_clock::now();
    const std::int64_t before = Counter();
    w.wait(event);
    EXPECT_GE(Counter() - before, 20'000'000);
    EXPECT_LT(std::chrono::steady_clock::now() - wall, std::chrono::seconds(1));
  }
  CloseHandle(event);
  // The counter goes on from where it stood when the speed changes.
  const std::int64_t fast = Counter();
  ASSERT_TRUE(winsim::SetClockSpeed(1));
  EXPECT_GE(Counter(), fast);
}

}  // namespace
