#include "wine_differences.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

// A row applies to the Wine major versions from `first_wine` to `last_wine`
// (0: no bound); one case may have a row per range when Wine's answer changed.
struct WineDifference {
  const char* test_case;  // "Suite.Name" as gtest names it
  const char* windows;    // what Microsoft documents
  const char* wine;       // what those Wine versions do instead
  int first_wine;
  int last_wine;
};

constexpr WineDifference kWineDifferences[] = {
    {"Utf16ToUtf8Arguments.DefaultCharacterIsRefusedForUtf8",
     "WideCharToMultiByte fails with ERROR_INVALID_PARAMETER for CP_UTF8 when lpDefaultChar or "
     "lpUsedDefaultChar is not NULL",
     "ignores lpUsedDefaultChar for CP_UTF8 and converts", 0, 0},
    {"Table/Utf8Arguments.AreRefusedWithTheirError/PrecomposedFlag",
     "MultiByteToWideChar fails with ERROR_INVALID_FLAGS for CP_UTF8 when dwFlags is other than 0 "
     "or MB_ERR_INVALID_CHARS",
     "ignores MB_PRECOMPOSED for CP_UTF8 and converts", 0, 0},
    {"Table/Utf8Arguments.AreRefusedWithTheirError/NoBestFitFlag",
     "WideCharToMultiByte fails with ERROR_INVALID_FLAGS for CP_UTF8 when dwFlags is other than 0 "
     "or WC_ERR_INVALID_CHARS",
     "ignores WC_NO_BEST_FIT_CHARS for CP_UTF8 and converts", 0, 0},
    {"Table/Utf8Arguments.AreRefusedWithTheirError/DefaultCharacter",
     "WideCharToMultiByte fails with ERROR_INVALID_PARAMETER for CP_UTF8 when lpDefaultChar is "
     "not NULL",
     "ignores lpDefaultChar for CP_UTF8 and converts", 0, 0},
    {"DibSection.SelectedBitmapIsKeptUntilItsDcIsGone",
     "DeleteObject returns zero for a bitmap that is currently selected into a DC",
     "accepts it (nonzero) and deletes the bitmap once its DC goes", 0, 0},
    // Loopback capture through PulseAudio came with Wine 9.12.
    {"Wasapi.LoopbackDeliversOneSecondOfThePlayedTone",
     "hands out IAudioCaptureClient for a render endpoint initialized with "
     "AUDCLNT_STREAMFLAGS_LOOPBACK and delivers what the endpoint plays",
     "accepts the flag but refuses the capture service (AUDCLNT_E_WRONG_ENDPOINT_TYPE)", 0, 9},
    {"Wasapi.LoopbackOfSilenceIsSilent", "hands out IAudioCaptureClient for a loopback stream",
     "refuses the capture service of a loopback stream (AUDCLNT_E_WRONG_ENDPOINT_TYPE)", 0, 9},
    {"Wasapi.LoopbackOfSilenceIsSilent",
     "delivers no loopback packets while nothing plays, or only packets flagged "
     "AUDCLNT_BUFFERFLAGS_SILENT",
     "delivers packets of zero samples without the silent flag", 10, 0},
    {"Wasapi.LoopbackOfARecordingDeviceIsRefused",
     "refuses AUDCLNT_STREAMFLAGS_LOOPBACK on a capture endpoint with "
     "AUDCLNT_E_WRONG_ENDPOINT_TYPE",
     "accepts it (S_OK)", 0, 9},
    {"Wasapi.SharedModeRefusesARateOtherThanTheMix",
     "refuses a shared-mode format the engine does not mix without "
     "AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM (AUDCLNT_E_UNSUPPORTED_FORMAT)",
     "accepts any rate and converts", 0, 0},
    {"MmDeviceLookup.FailedLookupsReportNotFoundAndLeaveNoDevice",
     "answers an unknown id with E_NOTFOUND and sets *ppDevice to NULL when a lookup fails",
     "answers E_INVALIDARG and leaves *ppDevice as it was", 0, 0},
    // Skipped before the first call: an unimplemented export ends the process.
    {"MicrophoneSourceReader.ConvertsToTheRequestedRateAndChannels",
     "opens an audio capture endpoint with MFCreateDeviceSource, and the source reader converts "
     "its PCM to a requested rate and channel count",
     "has no MFCreateDeviceSource (an unimplemented export that aborts the process)", 0, 0},
    {"Duplication.PrimaryOutputIsDuplicatedOneFrameAtATime",
     "IDXGIOutput1::DuplicateOutput duplicates an output for a Direct3D 11 device of its adapter "
     "(S_OK) and hands out the desktop's frames",
     "answers E_NOTIMPL: desktop duplication is not implemented", 0, 0},
    {"Wasapi.StreamOfAnEndpointThatGoesAwayIsInvalidated",
     "fails the calls of a stream whose endpoint went away with AUDCLNT_E_DEVICE_INVALIDATED",
     "keeps delivering (S_OK): the sound server moves the stream to another device when the sink "
     "behind its endpoint is unloaded",
     0, 0},
};

}  // namespace

int WineMajorVersion() {
  static const int major = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return 0;
    using GetVersion = const char* (*)();
    // Through void(*)(), the one function pointer type a cast from FARPROC may
    // pass without a warning about the signature.
    const auto get_version = reinterpret_cast<GetVersion>(
        reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "wine_get_version")));
    if (get_version == nullptr) return 0;
    const int parsed = std::atoi(get_version());
    return parsed > 0 ? parsed : 1;
  }();
  return major;
}

bool RunningUnderWine() { return WineMajorVersion() != 0; }

std::string KnownWineDifference(const std::string& test_case) {
  const int wine = WineMajorVersion();
  for (const WineDifference& row : kWineDifferences) {
    if (wine < row.first_wine || (row.last_wine != 0 && wine > row.last_wine)) continue;
    if (test_case == row.test_case) {
      return std::string("Windows ") + row.windows + "; Wine " + std::to_string(wine) + " " +
             row.wine;
    }
  }
  return {};
}
