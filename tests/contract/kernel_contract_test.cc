// kernel32 and shell rules the recorder and host rely on: the performance
// counter, waitable timers, events and waits, file sizes, moves and share
// modes, and the command line split (UTF-8 conversion: utf8_contract_test).
#include <windows.h>

#include <shellapi.h>
#include <timeapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "wine_differences.h"

namespace {

TEST(PerformanceCounter, MonotonicWithAFixedFrequency) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  LARGE_INTEGER frequency{}, again{};
  ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
  ASSERT_TRUE(QueryPerformanceFrequency(&again));
  EXPECT_GT(frequency.QuadPart, 0);
  EXPECT_EQ(frequency.QuadPart, again.QuadPart);
  LARGE_INTEGER previous{};
  ASSERT_TRUE(QueryPerformanceCounter(&previous));
  for (int i = 0; i < 10000; ++i) {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    ASSERT_GE(now.QuadPart, previous.QuadPart) << "read " << i;
    previous = now;
  }
}

// The recorder's frame clock converts counter ticks with the frequency: a
// Sleep of 100 ms must not read as much less. (No upper bound: a loaded
// machine may oversleep.)
TEST(PerformanceCounter, AgreesWithSleep) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  LARGE_INTEGER frequency{}, before{}, after{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&before);
  Sleep(100);
  QueryPerformanceCounter(&after);
  const double elapsed_ms =
      static_cast<double>(after.QuadPart - before.QuadPart) * 1000.0 / frequency.QuadPart;
  EXPECT_GE(elapsed_ms, 85.0);
}

// ---- Timer resolution ---------------------------------------------------

// The recorder holds a 1-ms timer period while it records. A period outside
// what timeGetDevCaps reports is refused with TIMERR_NOCANDO and changes
// nothing; periods nest, each begin matched by an end of the same period.
// Wine agrees (its range is 1 to 65535 ms, Windows' 1 to 1,000,000); Wine's
// Sleep is exact to the millisecond whatever the period, so no case here
// measures how long a sleep lasts.
TEST(TimerPeriod, OutOfRangeIsRefusedAndMatchedCallsNest) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  TIMECAPS caps{};
  ASSERT_EQ(timeGetDevCaps(&caps, sizeof caps), static_cast<MMRESULT>(TIMERR_NOERROR));
  EXPECT_EQ(caps.wPeriodMin, 1u);
  EXPECT_GE(caps.wPeriodMax, 1000u);
  EXPECT_EQ(timeGetDevCaps(&caps, sizeof caps - 1), static_cast<MMRESULT>(TIMERR_NOCANDO));
  EXPECT_EQ(timeGetDevCaps(nullptr, sizeof caps), static_cast<MMRESULT>(TIMERR_NOCANDO));
  EXPECT_EQ(timeBeginPeriod(0), static_cast<MMRESULT>(TIMERR_NOCANDO));
  EXPECT_EQ(timeEndPeriod(0), static_cast<MMRESULT>(TIMERR_NOCANDO));
  EXPECT_EQ(timeBeginPeriod(caps.wPeriodMax + 1), static_cast<MMRESULT>(TIMERR_NOCANDO));
  EXPECT_EQ(timeEndPeriod(caps.wPeriodMax + 1), static_cast<MMRESULT>(TIMERR_NOCANDO));
  for (UINT period : {1u, 1u, 5u, caps.wPeriodMax}) {
    EXPECT_EQ(timeBeginPeriod(period), static_cast<MMRESULT>(TIMERR_NOERROR)) << period;
  }
  for (UINT period : {caps.wPeriodMax, 5u, 1u, 1u}) {
    EXPECT_EQ(timeEndPeriod(period), static_cast<MMRESULT>(TIMERR_NOERROR)) << period;
  }
}

// ---- Waitable timers ---------------------------------------------------

// The flag's value; older MinGW headers lack it.
constexpr DWORD kHighResolutionTimer = 0x2;

double MsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER frequency{}, now{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
}

// A high-resolution timer is signalled no earlier than its due time (1 ms of
// slack for the measurement; no upper bound, a loaded machine may be late);
// a synchronization timer releases one wait, a notification timer stays
// signalled; a periodic one signals again every period until cancelled.
TEST(WaitableTimer, SignalsOnTimeResetsAsItsKindSaysAndStopsWhenCancelled) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const HANDLE once =
      CreateWaitableTimerExW(nullptr, nullptr, kHighResolutionTimer, TIMER_ALL_ACCESS);
  ASSERT_NE(once, nullptr) << GetLastError();
  LARGE_INTEGER due{}, start{};
  due.QuadPart = -300'000;  // 30 ms
  QueryPerformanceCounter(&start);
  ASSERT_TRUE(SetWaitableTimer(once, &due, 0, nullptr, nullptr, FALSE));
  EXPECT_EQ(WaitForSingleObject(once, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(once, 2000), WAIT_OBJECT_0);
  EXPECT_GE(MsSince(start), 29.0);
  EXPECT_EQ(WaitForSingleObject(once, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(CloseHandle(once));

  const HANDLE manual = CreateWaitableTimerExW(
      nullptr, nullptr, CREATE_WAITABLE_TIMER_MANUAL_RESET | kHighResolutionTimer,
      TIMER_ALL_ACCESS);
  ASSERT_NE(manual, nullptr) << GetLastError();
  due.QuadPart = -10'000;
  ASSERT_TRUE(SetWaitableTimer(manual, &due, 0, nullptr, nullptr, FALSE));
  EXPECT_EQ(WaitForSingleObject(manual, 2000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(manual));

  const HANDLE periodic =
      CreateWaitableTimerExW(nullptr, nullptr, kHighResolutionTimer, TIMER_ALL_ACCESS);
  ASSERT_NE(periodic, nullptr) << GetLastError();
  due.QuadPart = -100'000;
  QueryPerformanceCounter(&start);
  ASSERT_TRUE(SetWaitableTimer(periodic, &due, 10, nullptr, nullptr, FALSE));
  int signals = 0;
  while (signals < 3 && MsSince(start) < 2000) {
    if (WaitForSingleObject(periodic, 100) == WAIT_OBJECT_0) ++signals;
  }
  EXPECT_EQ(signals, 3);
  EXPECT_TRUE(CancelWaitableTimer(periodic));
  WaitForSingleObject(periodic, 0);  // a period that came before the cancel
  EXPECT_EQ(WaitForSingleObject(periodic, 50), WAIT_TIMEOUT);
  EXPECT_TRUE(CloseHandle(periodic));
}

// A timer call on an event, and an event call on a timer, fail with
// ERROR_INVALID_HANDLE instead of acting on the other kind of object.
TEST(WaitableTimer, CallsOnTheWrongKindOfHandleFail) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const HANDLE timer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(timer != nullptr && event != nullptr);
  LARGE_INTEGER due{};
  due.QuadPart = -10'000;
  const struct {
    const char* what;
    bool (*call)(HANDLE timer, HANDLE event, const LARGE_INTEGER* due);
    DWORD error;
  } cases[] = {
      {"setting an event as a timer",
       [](HANDLE, HANDLE e, const LARGE_INTEGER* d) {
         return SetWaitableTimer(e, d, 0, nullptr, nullptr, FALSE) != FALSE;
       },
       ERROR_INVALID_HANDLE},
      {"cancelling an event",
       [](HANDLE, HANDLE e, const LARGE_INTEGER*) { return CancelWaitableTimer(e) != FALSE; },
       ERROR_INVALID_HANDLE},
      {"setting a timer as an event",
       [](HANDLE t, HANDLE, const LARGE_INTEGER*) { return SetEvent(t) != FALSE; },
       ERROR_INVALID_HANDLE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(c.call(timer, event, &due));
    EXPECT_EQ(GetLastError(), c.error);
  }
  CloseHandle(timer);
  CloseHandle(event);
}

// ---- Events and waits -----------------------------------------------------

// The workers' stop and wake signals: a manual-reset event stays signalled
// until reset, an auto-reset one releases one wait; a closed handle fails
// every call.
TEST(Events, ManualAndAutoResetWakeAsTheirKindSays) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  struct Case {
    BOOL manual;
    DWORD second_wait;  // after one satisfied wait
  } const cases[] = {{TRUE, WAIT_OBJECT_0}, {FALSE, WAIT_TIMEOUT}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.manual);
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
  const HANDLE closed = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  CloseHandle(closed);
  EXPECT_EQ(WaitForSingleObject(closed, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(SetEvent(closed));
  EXPECT_FALSE(CloseHandle(closed));
}

// A wait on several handles reports the lowest signalled index; a wait on
// none fails.
TEST(Events, WaitForMultipleReportsTheFirstSignalled) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  HANDLE events[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr),
                      CreateEventW(nullptr, TRUE, TRUE, nullptr)};
  EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_OBJECT_0 + 1);
  SetEvent(events[0]);
  EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(0, events, FALSE, 0), WAIT_FAILED);
  for (HANDLE e : events) CloseHandle(e);
}

TEST(Events, InfiniteWaitEndsWhenAnotherThreadSignals) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  std::thread setter([event] { SetEvent(event); });
  EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
  setter.join();
  CloseHandle(event);
}

// ---- File attributes -----------------------------------------------------

// The recorder reports the finished file's size from GetFileAttributesExW.
class FileSize : public ::testing::TestWithParam<int> {};

TEST_P(FileSize, ReportsTheBytesWritten) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const int size = GetParam();
  const std::string name = "contract_size_" + std::to_string(size) + ".bin";
  {
    std::ofstream file(name, std::ios::binary);
    file << std::string(static_cast<std::size_t>(size), 'x');
  }
  const std::wstring wide(name.begin(), name.end());
  WIN32_FILE_ATTRIBUTE_DATA data{};
  const BOOL ok = GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data);
  std::remove(name.c_str());
  ASSERT_TRUE(ok);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_EQ(data.nFileSizeLow, static_cast<DWORD>(size));
  EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FileSize, ::testing::Values(0, 1, 65537));

TEST(FileAttributes, DirectoryAndMissingPaths) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(L".", GetFileExInfoStandard, &data));
  EXPECT_NE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  SetLastError(0);
  EXPECT_FALSE(GetFileAttributesExW(L"contract_no_such_file.bin", GetFileExInfoStandard, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SetLastError(0);
  EXPECT_FALSE(
      GetFileAttributesExW(L"contract_no_such_dir\\file.bin", GetFileExInfoStandard, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

// ---- Share modes -----------------------------------------------------------

// A second open of a file must be allowed by the share mode of the open
// already there and must itself share what that one has; else
// ERROR_SHARING_VIOLATION. Opening for attributes only never conflicts.
TEST(ShareModes, SecondOpenNeedsCompatibleShareModes) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  constexpr DWORD r = GENERIC_READ, w = GENERIC_WRITE;
  constexpr DWORD sr = FILE_SHARE_READ, sw = FILE_SHARE_WRITE, sd = FILE_SHARE_DELETE;
  const struct {
    const char* name;
    DWORD access1, share1, access2, share2;
    bool second_opens;
  } cases[] = {
      {"readers sharing read", r, sr, r, sr, true},
      {"writer sharing read, reader sharing all", w, sr, r, sr | sw | sd, true},
      {"writer sharing read, reader sharing read only", w, sr, r, sr, false},
      {"writer sharing read, second writer", w, sr, w, sr | sw, false},
      {"writer sharing nothing, reader", w, 0, r, sr | sw | sd, false},
      {"writers sharing write", w, sw, w, sw, true},
      {"reader sharing read, writer", r, sr, w, sr, false},
      {"attributes only never conflict", w, 0, 0, 0, true},
  };
  const wchar_t* path = L"contract_shared.bin";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE first = CreateFileW(path, c.access1, c.share1, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    SetLastError(0);
    HANDLE second = CreateFileW(path, c.access2, c.share2, nullptr, OPEN_EXISTING, 0, nullptr);
    if (c.second_opens) {
      EXPECT_NE(second, INVALID_HANDLE_VALUE);
      if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    } else {
      EXPECT_EQ(second, INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    CloseHandle(first);
  }
  EXPECT_TRUE(DeleteFileW(path));
}

// The recorder moves its finished file over the target: a file open without
// FILE_SHARE_DELETE can be neither renamed nor deleted (a sharing
// violation), one open at all cannot be replaced (access denied), and one
// open with FILE_SHARE_DELETE can be renamed.
TEST(ShareModes, MoveAndDeleteNeedSharedDelete) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const wchar_t* open_name = L"contract_open.bin";
  const wchar_t* other = L"contract_other.bin";
  HANDLE made = CreateFileW(other, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(made, INVALID_HANDLE_VALUE);
  CloseHandle(made);
  for (DWORD share : {DWORD{0}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}}) {
    SCOPED_TRACE(share);
    HANDLE open = CreateFileW(open_name, GENERIC_READ, share, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(MoveFileExW(open_name, L"contract_renamed.bin", 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(MoveFileExW(other, open_name, MOVEFILE_REPLACE_EXISTING)) << "as the target";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteFileW(open_name));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(open);
  }
  HANDLE shared = CreateFileW(open_name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(shared, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(MoveFileExW(open_name, L"contract_renamed.bin", 0));
  CloseHandle(shared);
  EXPECT_TRUE(DeleteFileW(L"contract_renamed.bin"));
  EXPECT_TRUE(DeleteFileW(other));
}

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string text;
  std::getline(in, text);
  return text;
}

// The recorder's final move: an existing target is replaced only with
// MOVEFILE_REPLACE_EXISTING; a missing source, or deleting a missing file,
// reports ERROR_FILE_NOT_FOUND.
TEST(FileMoves, ReplaceOnlyWhenAskedAndReportMissingFiles) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const std::string from = "contract_move_from.txt", to = "contract_move_to.txt";
  const std::wstring wfrom(from.begin(), from.end()), wto(to.begin(), to.end());
  std::ofstream(from) << "new";
  std::ofstream(to) << "old";
  EXPECT_FALSE(MoveFileExW(wfrom.c_str(), wto.c_str(), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(FirstLine(to), "old");
  EXPECT_TRUE(MoveFileExW(wfrom.c_str(), wto.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(FirstLine(to), "new");
  EXPECT_FALSE(MoveFileExW(wfrom.c_str(), wto.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(DeleteFileW(wto.c_str()));
  EXPECT_FALSE(DeleteFileW(wto.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// ---- Device names ----------------------------------------------------------

// A last component named NUL, with any extension and in any folder, is the
// null device: it opens for writing, takes the bytes and leaves no file.
// COM1 may be a real port, so only that no file of its name appears is
// checked.
TEST(DeviceNames, NulTakesWritesAndNoFileAppears) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const std::filesystem::path folder = "contract_devices";
  std::filesystem::remove_all(folder);
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  HANDLE nul = CreateFileW(L"contract_devices\\NUL.mp4", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(nul, INVALID_HANDLE_VALUE) << GetLastError();
  if (nul != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(nul, "12345", 5, &written, nullptr));
    EXPECT_EQ(written, 5u);
    CloseHandle(nul);
  }
  HANDLE port = CreateFileW(L"contract_devices\\COM1.mp4", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
  std::string names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names += entry.path().filename().string() + " ";
  }
  EXPECT_EQ(names, "") << "the folder stays empty";
  std::filesystem::remove_all(folder);
}

// ---- Command line --------------------------------------------------------

struct Split {
  const char* name;
  const wchar_t* command_line;
  std::vector<std::wstring> expected;
};

class CommandLineSplit : public ::testing::TestWithParam<Split> {};

TEST_P(CommandLineSplit, FollowsTheQuotingRules) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const Split& c = GetParam();
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(c.command_line, &count);
  ASSERT_NE(argv, nullptr);
  std::vector<std::wstring> words(argv, argv + count);
  EXPECT_EQ(argv[count], nullptr) << "the array ends with NULL";
  LocalFree(reinterpret_cast<HLOCAL>(argv));
  EXPECT_EQ(words, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineSplit,
    ::testing::Values(
        Split{"Blanks", L"prog a\tb  c", {L"prog", L"a", L"b", L"c"}},
        Split{"QuotedBlank", L"prog \"a b\" c", {L"prog", L"a b", L"c"}},
        Split{"EmptyQuoted", L"prog \"\" x", {L"prog", L"", L"x"}},
        Split{"BackslashesAloneAreLiteral", L"prog a\\\\b c\\", {L"prog", L"a\\\\b", L"c\\"}},
        Split{"EscapedQuote", L"prog a\\\"b", {L"prog", L"a\"b"}},
        Split{"EvenBackslashesThenQuote", L"prog a\\\\\"b c\"", {L"prog", L"a\\b c"}},
        Split{"ProgramNameKeepsBackslashes",
              L"\"C:\\Program Files\\app\\\" --flag",
              {L"C:\\Program Files\\app\\", L"--flag"}},
        Split{
            "ArgumentWithEquals", L"prog --ui-script=a.jsonl", {L"prog", L"--ui-script=a.jsonl"}}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
