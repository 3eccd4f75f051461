#include <gtest/gtest.h>
#include <mfapi.h>
#include <windows.h>
#include <winsim.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/machine_test.h"

namespace {

class MachineFileTest : public machine_test::MachineTest {};

TEST_F(MachineFileTest, AppliesScreenCursorClockAndFailures) {
  std::string error;
  ASSERT_TRUE(winsim::LoadMachineJson(R"({
    "screen": {"width": 1367, "height": 769, "pattern": "halves", "top": "#102030",
               "bottom": "0x405060"},
    "cursor": {"visible": false, "x": 5, "y": 6, "hotspot_x": 3, "hotspot_y": 4},
    "clock": {"manual": true, "counter": 30, "frequency": 3},
    "fail": {"MFStartup": "0x80004005", "MFCreateSample#2": "0x8007000E",
             "IMFSinkWriter::BeginWriting": 2147942405}
  })",
                                      &error))
      << error;

  const winsim::Screen& screen = winsim::GetScreen();
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1367);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 769);
  EXPECT_EQ(screen.pixels.front(), 0x102030u);
  EXPECT_EQ(screen.pixels.back(), 0x405060u);
  EXPECT_FALSE(screen.animate);

  const winsim::Cursor& cursor = winsim::GetCursor();
  EXPECT_FALSE(cursor.visible);
  EXPECT_EQ(cursor.x, 5);
  EXPECT_EQ(cursor.hotspot_y, 4);

  LARGE_INTEGER counter{}, frequency{};
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  EXPECT_EQ(counter.QuadPart, 30);
  EXPECT_EQ(frequency.QuadPart, 3);

  EXPECT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), E_FAIL);
  EXPECT_EQ(winsim::InjectedFailure("IMFSinkWriter::BeginWriting"), E_ACCESSDENIED);
  IMFSample* sample = nullptr;
  ASSERT_EQ(MFCreateSample(&sample), S_OK);
  sample->Release();
  EXPECT_EQ(MFCreateSample(&sample), E_OUTOFMEMORY);
  ASSERT_EQ(MFCreateSample(&sample), S_OK);  // only the second call fails
  sample->Release();
}

TEST_F(MachineFileTest, RejectsBadFilesNamingTheKey) {
  const struct {
    const char* json;
    const char* mentions;
  } cases[] = {
      {"{", "JSON"},
      {"[1]", "object"},
      {R"({"screne": {}})", "screne"},
      {R"({"screen": {"width": "wide"}})", "width"},
      {R"({"screen": {"width": -1}})", "width"},
      {R"({"screen": {"pattern": "plaid"}})", "pattern"},
      {R"({"screen": {"color": "#12345"}})", "color"},
      {R"({"screen": {"depth": 32}})", "depth"},
      {R"({"cursor": {"hotspot_x": 32}})", "hotspot"},
      {R"({"cursor": {"visible": 1}})", "visible"},
      {R"({"clock": {"frequency": 0}})", "frequency"},
      {R"({"clock": {"speed": 0.99}})", "speed"},
      {R"({"clock": {"speed": 100.01}})", "speed"},
      {R"({"clock": {"speed": "fast"}})", "speed"},
      {R"({"clock": {"manual": true, "speed": 2}})", "speed"},
      {R"({"timer": {"resolution_ms": 0.49}})", "resolution_ms"},
      {R"({"timer": {"resolution_ms": 15.63}})", "resolution_ms"},
      {R"({"timer": {"resolution_ms": "fine"}})", "resolution_ms"},
      {R"({"timer": {"period_ms": 1}})", "period_ms"},
      {R"({"timer": 1})", "timer"},
      {R"({"fail": {"MFStartup": "later"}})", "MFStartup"},
      {R"({"fail": {"MFStartup": "0x1FFFFFFFF"}})", "MFStartup"},
      {R"({"fail": {"MFStartup#0": "0x80004005"}})", "MFStartup#0"},
      {R"({"fail": {"MFStartup#x": "0x80004005"}})", "MFStartup#x"},
      {R"({"fail": ["MFStartup"]})", "fail"},
      {R"({"disk": 5000})", "disk"},
      {R"({"disk": {"free_bytes": -1}})", "free_bytes"},
      {R"({"disk": {"free_bytes": "lots"}})", "free_bytes"},
      {R"({"disk": {"free": 5000}})", "free"},
      {R"({"encoder": {"latency_frames": -1}})", "latency_frames"},
      {R"({"encoder": {"latency_frames": 61}})", "latency_frames"},
      {R"({"encoder": {"latency": 2}})", "latency"},
      {R"({"encoder": {"max_width": 4098}})", "max_width"},
      {R"({"encoder": {"max_height": 1}})", "max_height"},
      {R"({"encoder": {"max_width": "wide"}})", "max_width"},
      {R"({"encoder": 2})", "encoder"},
      {R"({"displays": []})", "1 to 16"},
      {R"({"displays": [{"left": 8, "top": 0, "width": 8, "height": 8}]})", "0, 0"},
      {R"({"displays": [{"width": 8, "height": 8, "primary": true},
                        {"left": 8, "width": 8, "height": 8, "primary": true}]})",
       "only one"},
      {R"({"displays": [{"width": 8, "height": 8}, {"left": 7, "top": 7, "width": 4,
                                                    "height": 4}]})",
       "displays 0 and 1 overlap"},
      {R"({"displays": [{"width": 0, "height": 8}]})", "display 0: \"width\""},
      {R"({"displays": [{"width": 8, "height": 8, "pattern": "plaid"}]})", "pattern"},
      {R"({"displays": [{"width": 8, "height": 8, "colour": "#FFFFFF"}]})", "colour"},
      {R"({"displays": [{"width": 8, "height": 8, "name": "\\\\.\\A_DEVICE_NAME_LONGER_THAN_31_CHARACTERS"}]})",
       "name"},
      {R"({"displays": [{"width": 8, "height": 8}], "screen": {"width": 8}})", "both"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    std::string error;
    EXPECT_FALSE(winsim::LoadMachineJson(c.json, &error));
    EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
  }
  std::string error;
  EXPECT_FALSE(winsim::LoadMachineFile("/nonexistent/machine.json", &error));
  EXPECT_NE(error.find("/nonexistent/machine.json"), std::string::npos);
}

TEST_F(MachineFileTest, ResetRestoresTheDefaultMachine) {
  ASSERT_TRUE(winsim::LoadMachineJson(
      R"({"screen": {"width": 8, "height": 8, "pattern": "solid"},
          "cursor": {"x": 1, "moving": true}, "clock": {"manual": true},
          "fail": {"GetDC": "0x80004005"}})",
      nullptr));
  winsim::ResetMachine();
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
  EXPECT_TRUE(winsim::GetScreen().animate);
  EXPECT_EQ(winsim::GetCursor().x, 100);
  EXPECT_FALSE(winsim::GetCursor().animate);
  HDC screen = GetDC(nullptr);
  EXPECT_NE(screen, nullptr);
  ReleaseDC(nullptr, screen);
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  EXPECT_EQ(frequency.QuadPart, 10'000'000);
}

TEST_F(MachineFileTest, MovingCursorFollowsTheClock) {
  winsim::UseManualClock(0);
  ASSERT_TRUE(winsim::LoadMachineJson(R"({"cursor": {"moving": true}})", nullptr));
  CURSORINFO first{sizeof(CURSORINFO), 0, nullptr, {0, 0}}, later = first;
  ASSERT_TRUE(GetCursorInfo(&first));
  winsim::AdvanceClock(5'000'000);
  ASSERT_TRUE(GetCursorInfo(&later));
  EXPECT_TRUE(first.ptScreenPos.x != later.ptScreenPos.x ||
              first.ptScreenPos.y != later.ptScreenPos.y);
}

TEST_F(MachineFileTest, ManualClockSleepAdvancesAndCallsTheHook) {
  winsim::UseManualClock(100, 1000);
  DWORD slept = 0;
  winsim::SetSleepHook([&slept](DWORD ms) { slept += ms; });
  Sleep(66);
  Sleep(0);
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  EXPECT_EQ(counter.QuadPart, 172);  // due at 166 ms, ended on the 15.625-ms tick at 171.875
  EXPECT_EQ(slept, 66u);
}

TEST_F(MachineFileTest, RealClockIsMonotonicAtTenMegahertz) {
  LARGE_INTEGER a{}, b{}, f{};
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  Sleep(2);
  QueryPerformanceCounter(&b);
  EXPECT_EQ(f.QuadPart, 10'000'000);
  EXPECT_GE(b.QuadPart - a.QuadPart, 20'000);
}

TEST_F(MachineFileTest, FileAttributesReadTheRealFileSystem) {
  char name[] = "/tmp/morl_attr_XXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "12345", 5), 5);
  close(fd);
  std::wstring path(name, name + sizeof(name) - 1);
  std::wstring backslashed = path;
  for (wchar_t& c : backslashed) c = c == L'/' ? L'\\' : c;

  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(backslashed.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);

  winsim::SetFileSizeOverride(path, 0x100000002ull);
  ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeHigh, 1u);
  EXPECT_EQ(data.nFileSizeLow, 2u);

  winsim::FailCall("GetFileAttributesExW", HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  std::remove(name);

  winsim::ResetMachine();  // drops the override
  EXPECT_FALSE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(GetFileAttributesExW(L"/tmp", GetFileExInfoStandard, &data));
  EXPECT_NE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

}  // namespace

namespace {

// Runs in a fresh process (the file is read once per process): the first
// failable call already sees the file's failures, and a bad file is reported
// on stderr while the default machine runs.
TEST(MachineFromEnvironment, LoadedBeforeTheFirstCall) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        const char* path = "/tmp/morl_machine_env_test.json";
        std::FILE* file = std::fopen(path, "w");
        std::fputs(R"({"fail": {"CoInitializeEx": "0x80004005"}, "screen": {"width": 640}})", file);
        std::fclose(file);
        setenv("MORL_SIM_MACHINE", path, 1);
        const bool failed = CoInitializeEx(nullptr, COINIT_MULTITHREADED) == E_FAIL;
        const bool sized = GetSystemMetrics(SM_CXSCREEN) == 640;
        std::remove(path);
        std::exit(failed && sized ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        setenv("MORL_SIM_MACHINE", "/nonexistent/machine.json", 1);
        std::exit(GetSystemMetrics(SM_CXSCREEN) == 1920 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "machine file /nonexistent/machine.json: cannot read");
}

}  // namespace
