// The host keys of the machine file, read through the simulated APIs the
// product calls.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>
#include <winsim_host.h>
#include <winsim_windows.h>

#include <string>

#include "tests/support/machine_test.h"

namespace {

DWORD ReadTheme(LONG* status) {
  DWORD value = 0xFFFF;
  DWORD size = sizeof(value);
  *status = RegGetValueW(HKEY_CURRENT_USER,
                         L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                         L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}

using HostMachineFile = machine_test::MachineTest;

TEST_F(HostMachineFile, SetsDpiThemeDebuggerAndConsole) {
  winsim::SetCommandLine(L"app.exe kept");
  std::string error;
  ASSERT_TRUE(winsim::LoadMachineJson(
      R"({"dpi": 144, "registry": {"AppsUseLightTheme": 0}, "debugger": true,
          "parent_console": true})",
      &error))
      << error;
  EXPECT_EQ(winsim::Monitors().at(0).dpi, 144u);
  LONG status = 0;
  EXPECT_EQ(ReadTheme(&status), 0u);
  EXPECT_EQ(status, static_cast<LONG>(ERROR_SUCCESS));
  EXPECT_TRUE(IsDebuggerPresent());
  EXPECT_TRUE(AttachConsole(ATTACH_PARENT_PROCESS));

  // A reset restores the machine but not the running process's command line.
  winsim::ResetMachine();
  ReadTheme(&status);
  EXPECT_EQ(status, static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(IsDebuggerPresent());
  EXPECT_EQ(std::wstring(GetCommandLineW()), L"app.exe kept");
}

TEST_F(HostMachineFile, RejectsBadValues) {
  const char* bad[] = {
      R"({"dpi": 0})",
      R"({"dpi": "144"})",
      R"({"registry": {"AppsUseLightTheme": -1}})",
      R"({"registry": {"Other": 1}})",
      R"({"registry": 1})",
      R"({"debugger": 1})",
      R"({"parent_console": "yes"})",
  };
  for (const char* json : bad) {
    winsim::ResetMachine();
    std::string error;
    EXPECT_FALSE(winsim::LoadMachineJson(json, &error)) << json;
    EXPECT_FALSE(error.empty()) << json;
  }
}

TEST_F(HostMachineFile, RegistryReadFollowsBufferRules) {
  winsim::SetAppsUseLightTheme(1);
  const wchar_t* key = L"SOFTWARE\\microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
  DWORD size = 0;
  // Size query, too small a buffer, and the wrong type.
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr,
                         nullptr, &size),
            static_cast<LONG>(ERROR_SUCCESS));
  EXPECT_EQ(size, 4u);
  BYTE small[2];
  size = sizeof(small);
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr,
                         small, &size),
            static_cast<LONG>(ERROR_MORE_DATA));
  DWORD value = 0;
  size = sizeof(value);
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme", RRF_RT_REG_SZ, nullptr,
                         &value, &size),
            ERROR_UNSUPPORTED_TYPE);
}

}  // namespace
