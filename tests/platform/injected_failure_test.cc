#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/machine_test.h"

namespace {

class InjectedFailureTest : public machine_test::MachineTest {};

constexpr HRESULT kA = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT kB = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT kC = static_cast<HRESULT>(0x8007000Eu);

// What calls 1 to 8 of one call return, for sets of "fail" entries: single
// calls, closed and open ranges at their limits, several entries for one call.
TEST_F(InjectedFailureTest, EntriesCoverTheirCallsOnly) {
  const struct {
    const char* fail;
    std::vector<HRESULT> calls;
  } cases[] = {
      {R"({"Probe": "0x80004005"})", {kA, 0, 0, 0, 0, 0, 0, 0}},
      {R"({"Probe#8": "0x80004005"})", {0, 0, 0, 0, 0, 0, 0, kA}},
      {R"({"Probe#3+": "0x80004005"})", {0, 0, kA, kA, kA, kA, kA, kA}},
      {R"({"Probe#1+": "0x80004005"})", {kA, kA, kA, kA, kA, kA, kA, kA}},
      {R"({"Probe#2-4": "0x80004005"})", {0, kA, kA, kA, 0, 0, 0, 0}},
      {R"({"Probe#5-5": "0x80004005"})", {0, 0, 0, 0, kA, 0, 0, 0}},
      {R"({"Probe#2": "0x80004005", "Probe#4-5": "0x80070005", "Probe#7+": "0x8007000E"})",
       {0, kA, 0, kB, kB, 0, kC, kC}},
      {R"({"Probe#3-4": "0x80004005", "Other#1+": "0x80070005"})", {0, 0, kA, kA, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fail);
    winsim::ClearFailures();
    std::string error;
    ASSERT_TRUE(winsim::LoadMachineJson(std::string(R"({"fail": )") + c.fail + "}", &error))
        << error;
    for (std::size_t n = 0; n < c.calls.size(); ++n) {
      EXPECT_EQ(winsim::InjectedFailure("Probe"), c.calls[n]) << "call " << n + 1;
    }
  }
}

// The control API counts from when an entry is set, and keeps several entries.
TEST_F(InjectedFailureTest, ControlApiRangesCountFromWhenSet) {
  winsim::InjectedFailure("Probe");
  winsim::FailCalls("Probe", kA, 2, 3);
  winsim::FailCall("Probe", kB, 5);
  winsim::FailCalls("Probe", kC, 6, winsim::kNoLastCall);
  const HRESULT expected[] = {0, kA, kA, 0, kB, kC, kC, kC};
  for (HRESULT hr : expected) EXPECT_EQ(winsim::InjectedFailure("Probe"), hr);
  winsim::ClearFailures();
  EXPECT_EQ(winsim::InjectedFailure("Probe"), S_OK);
}

TEST_F(InjectedFailureTest, BadRangesAreRejected) {
  for (const char* name : {"Probe#0+", "Probe#+", "Probe#3-2", "Probe#2-", "Probe#-2",
                           "Probe#1-1000001", "Probe#1+2", "Probe#1--2", "#2-3"}) {
    SCOPED_TRACE(name);
    std::string error;
    EXPECT_FALSE(winsim::LoadMachineJson(
        std::string(R"({"fail": {")") + name + R"(": "0x80004005"}})", &error));
    EXPECT_NE(error.find(name), std::string::npos) << error;
  }
}

// A call that reports failure through GetLastError gives the Win32 code of a
// FACILITY_WIN32 HRESULT and any other HRESULT whole, so the HRESULT a caller
// makes of it is the one injected.
TEST_F(InjectedFailureTest, LastErrorCarriesTheInjectedHresult) {
  const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
      {"MoveFileExW", [] { return MoveFileExW(L"/tmp/a", L"/tmp/b", 0) != FALSE; }},
      {"DeleteFileW", [] { return DeleteFileW(L"/tmp/morl_no_such_file") != FALSE; }},
      {"CreateEventW",
       [] {
         HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
         if (event != nullptr) CloseHandle(event);
         return event != nullptr;
       }},
      {"CreateWaitableTimerW",
       [] {
         HANDLE timer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
         if (timer != nullptr) CloseHandle(timer);
         return timer != nullptr;
       }},
      {"CreateWaitableTimerExW",
       [] {
         HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
         if (timer != nullptr) CloseHandle(timer);
         return timer != nullptr;
       }},
      {"GetDC",
       [] {
         HDC dc = GetDC(nullptr);
         if (dc != nullptr) ReleaseDC(nullptr, dc);
         return dc != nullptr;
       }},
  };
  const struct {
    HRESULT injected;
    DWORD last_error;
  } cases[] = {
      {static_cast<HRESULT>(0x80070005u), ERROR_ACCESS_DENIED},
      {static_cast<HRESULT>(0x80070020u), ERROR_SHARING_VIOLATION},
      {static_cast<HRESULT>(0x8007FFFFu), 0xFFFFu},
      {static_cast<HRESULT>(0x80004005u), 0x80004005u},
      {static_cast<HRESULT>(0x80060005u), 0x80060005u},
      {static_cast<HRESULT>(0xC00D36B2u), 0xC00D36B2u},
  };
  for (const auto& [name, call] : calls) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(static_cast<DWORD>(c.injected)));
      winsim::FailCall(name, c.injected);
      SetLastError(ERROR_SUCCESS);
      EXPECT_FALSE(call());
      EXPECT_EQ(GetLastError(), c.last_error);
      EXPECT_EQ(HRESULT_FROM_WIN32(GetLastError()), c.injected);
    }
  }
}

}  // namespace
