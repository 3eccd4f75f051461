#include "wine_differences.h"

#include <windows.h>

#include <cstdio>

namespace {

struct WineDifference {
  const char* test_case;  // "Suite.Name" as gtest names it
  const char* windows;    // what Microsoft documents
  const char* wine;       // what Wine 8 does instead
};

constexpr WineDifference kWineDifferences[] = {
    {"Utf16ToUtf8Arguments.DefaultCharacterIsRefusedForUtf8",
     "WideCharToMultiByte fails with ERROR_INVALID_PARAMETER for CP_UTF8 when lpDefaultChar or "
     "lpUsedDefaultChar is not NULL",
     "ignores lpUsedDefaultChar for CP_UTF8 and converts"},
};

}  // namespace

bool RunningUnderWine() {
  static const bool under_wine = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return under_wine;
}

std::string KnownWineDifference(const std::string& test_case) {
  for (const WineDifference& row : kWineDifferences) {
    if (test_case == row.test_case) {
      return std::string("Windows ") + row.windows + "; Wine " + row.wine;
    }
  }
  return {};
}
