// The machine's timer: sleeps and timed waits end on its ticks, the process
// makes them finer with timeBeginPeriod, and the real clock runs at the
// machine's speed.
#include <gtest/gtest.h>
#include <timeapi.h>
#include <windows.h>
#include <winsim.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

class KernelTimerTest : public ::testing::Test {
 protected:
  void SetUp() override { winsim::ResetMachine(); }
  void TearDown() override {
    winsim::ResetMachine();
    EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
  }
};

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
