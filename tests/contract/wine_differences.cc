#include "wine_differences.h"

#include <windows.h>

namespace {

struct WineDifference {
  const char* test_case;  // "Suite.Name"
  const char* windows;    // what Microsoft documents
  const char* wine;       // what Wine 8 does instead
};

constexpr WineDifference kWineDifferences[] = {
    {"", "", ""},
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
    if (row.test_case[0] != '\0' && test_case == row.test_case) {
      return std::string("Windows ") + row.windows + "; Wine " + row.wine;
    }
  }
  return {};
}
