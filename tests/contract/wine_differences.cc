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
    {"Wasapi.LoopbackDeliversOneSecondOfThePlayedTone",
     "hands out IAudioCaptureClient for a render endpoint initialized with "
     "AUDCLNT_STREAMFLAGS_LOOPBACK and delivers what the endpoint plays",
     "accepts the flag but refuses the capture service (AUDCLNT_E_WRONG_ENDPOINT_TYPE)"},
    {"Wasapi.LoopbackOfSilenceIsSilent", "hands out IAudioCaptureClient for a loopback stream",
     "refuses the capture service of a loopback stream (AUDCLNT_E_WRONG_ENDPOINT_TYPE)"},
    {"Wasapi.LoopbackOfARecordingDeviceIsRefused",
     "refuses AUDCLNT_STREAMFLAGS_LOOPBACK on a capture endpoint with "
     "AUDCLNT_E_WRONG_ENDPOINT_TYPE",
     "accepts it (S_OK)"},
    {"Wasapi.SharedModeRefusesARateOtherThanTheMix",
     "refuses a shared-mode format the engine does not mix without "
     "AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM (AUDCLNT_E_UNSUPPORTED_FORMAT)",
     "accepts any rate and converts"},
    {"MmDeviceLookup.FailedLookupsReportNotFoundAndLeaveNoDevice",
     "answers an unknown id with E_NOTFOUND and sets *ppDevice to NULL when a lookup fails",
     "answers E_INVALIDARG and leaves *ppDevice as it was"},
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
