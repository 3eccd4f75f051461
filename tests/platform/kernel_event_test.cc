// Events, waits and file moves of the simulated kernel.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/machine_test.h"

namespace {

class KernelEventTest : public machine_test::MachineTest {};

TEST_F(KernelEventTest, ManualAndAutoResetEventsWakeAsOnWindows) {
  struct Case {
    BOOL manual;
    DWORD second_wait;  // after one satisfied wait
  } const cases[] = {{TRUE, WAIT_OBJECT_0}, {FALSE, WAIT_TIMEOUT}};
  for (const Case& c : cases) {
    const HANDLE event = CreateEventW(nullptr, c.manual, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), c.second_wait);
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
  }
  // A closed or foreign handle fails every call.
  const HANDLE closed = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  CloseHandle(closed);
  EXPECT_EQ(WaitForSingleObject(closed, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(SetEvent(closed));
  EXPECT_FALSE(CloseHandle(closed));
}

TEST_F(KernelEventTest, WaitForMultipleReportsTheFirstSignalledAndRefusesWaitAll) {
  HANDLE events[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr),
                      CreateEventW(nullptr, TRUE, TRUE, nullptr)};
  EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_OBJECT_0 + 1);
  SetEvent(events[0]);
  EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForMultipleObjects(0, events, FALSE, 0), WAIT_FAILED);
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

TEST_F(KernelEventTest, InfiniteWaitEndsWhenAnotherThreadSignals) {
  const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  std::thread setter([event] { SetEvent(event); });
  EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
  setter.join();
  CloseHandle(event);
}

std::string Contents(const std::string& path) {
  std::ifstream in(path);
  std::string text;
  std::getline(in, text);
  return text;
}

TEST_F(KernelEventTest, MoveFileReplacesOnlyWhenAskedAndReportsMissingFiles) {
  const std::string dir = ::testing::TempDir();
  const std::string from = dir + "move_from.txt", to = dir + "move_to.txt";
  const std::wstring wfrom(from.begin(), from.end()), wto(to.begin(), to.end());
  std::ofstream(from) << "new";
  std::ofstream(to) << "old";
  EXPECT_FALSE(MoveFileExW(wfrom.c_str(), wto.c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(Contents(to), "old");
  EXPECT_TRUE(MoveFileExW(wfrom.c_str(), wto.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(Contents(to), "new");
  EXPECT_FALSE(MoveFileExW(wfrom.c_str(), wto.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(DeleteFileW(wto.c_str()));
  EXPECT_FALSE(DeleteFileW(wto.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

}  // namespace
