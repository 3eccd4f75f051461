#include "recorder/recording_target.h"

#include <windows.h>

#include <cwctype>

#include "recorder/recording_control.h"
#include "win32_support/file_retry.h"
#include "win32_support/hresult_text.h"
#include "win32_support/utf_conversion.h"

namespace morl::recorder {

namespace {

constexpr wchar_t kLiteralPrefix[] = L"\\\\?\\";
// Names Windows keeps for devices, with any extension. The superscript
// digits are Latin-1's, which Windows also counts as port numbers.
constexpr const wchar_t* kDeviceNames[] = {
    L"CON",    L"PRN",     L"AUX",  L"NUL",  L"CONIN$", L"CONOUT$", L"COM0", L"COM1",
    L"COM2",   L"COM3",    L"COM4", L"COM5", L"COM6",   L"COM7",    L"COM8", L"COM9",
    L"COM\u00b9", L"COM\u00b2", L"COM\u00b3", L"LPT0", L"LPT1", L"LPT2", L"LPT3", L"LPT4",
    L"LPT5",   L"LPT6",    L"LPT7", L"LPT8", L"LPT9",   L"LPT\u00b9", L"LPT\u00b2", L"LPT\u00b3"};
// More attempts than anyone keeps recovered recordings of one name.
constexpr int kMaxRecoveredNames = 10000;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool RefusedInName(wchar_t c) {
  return (c >= 1 && c <= 31) || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' ||
         c == L'*';
}

bool SameNameNoCase(const std::wstring& a, const wchar_t* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != L'\0'; ++i) {
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  }
  return i == a.size() && b[i] == L'\0';
}

// The device a file name stands for ("nul.mp4", "COM1 .txt"); empty for
// an ordinary name.
std::wstring DeviceName(const std::wstring& name) {
  std::wstring base = name.substr(0, name.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (const wchar_t* device : kDeviceNames) {
    if (SameNameNoCase(base, device)) return device;
  }
  return {};
}

RecorderError Refused(std::string text, HRESULT hr) {
  return RecorderError{"start_failed", std::move(text), hr};
}

DWORD FileAttributes(const std::wstring& path, DWORD& attributes) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return GetLastError();
  attributes = data.dwFileAttributes;
  return ERROR_SUCCESS;
}

// Whether the file at `path` could be deleted or replaced now: an open for
// DELETE that shares everything fails only while another open does not share
// deleting.
DWORD OpenForReplacing(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                            FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(file);
  return ERROR_SUCCESS;
}

bool Exists(const std::wstring& path) {
  DWORD attributes = 0;
  return FileAttributes(path, attributes) == ERROR_SUCCESS;
}

}  // namespace

std::string TargetNameProblem(const std::wstring& path) {
  const bool literal = path.rfind(kLiteralPrefix, 0) == 0;
  const std::size_t begin = literal ? 4 : 0;
  for (std::size_t i = begin; i < path.size(); ++i) {
    const bool drive_colon = i == begin + 1 && std::iswalpha(path[begin]);
    if (RefusedInName(path[i]) || (path[i] == L':' && !drive_colon)) {
      return "output path contains a character Windows does not allow in file names";
    }
  }
  std::size_t name_start = path.size();
  while (name_start > begin && !IsSeparator(path[name_start - 1])) --name_start;
  const std::wstring name = path.substr(name_start);
  if (name.empty() || name == L"." || name == L".." || (begin + 2 == path.size() && path[begin + 1] == L':')) {
    return "output path names a folder, not a file";
  }
  // A literal path is taken as it is written; only ordinary paths have
  // their trailing dots and spaces dropped and devices looked up.
  if (literal) return {};
  if (name.back() == L'.' || name.back() == L' ') {
    return "output file name ends in a dot or a space, which Windows drops";
  }
  const std::wstring device = DeviceName(name);
  if (!device.empty()) {
    return "output file name is the device name " + WideToUtf8(device) + ", which Windows reserves";
  }
  return {};
}

Status CheckTarget(const std::wstring& path) {
  const std::string problem = TargetNameProblem(path);
  if (!problem.empty()) return Refused(problem, HRESULT_FROM_WIN32(ERROR_INVALID_NAME));
  DWORD attributes = 0;
  if (FileAttributes(path, attributes) != ERROR_SUCCESS) return Status();  // nothing to replace
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Refused("output path is a directory", HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  }
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return Refused("output file is read-only", HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  }
  const DWORD error = RetryWhileHeld([&] { return OpenForReplacing(path); });
  if (error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND) return Status();
  if (IsTransientFileError(error)) {
    return Refused("output file is open in another program", HRESULT_FROM_WIN32(error));
  }
  return CallError("start_failed", "output file cannot be replaced", HRESULT_FROM_WIN32(error));
}

std::wstring RecoveredPath(const std::wstring& path, int n) {
  std::size_t name_start = path.size();
  while (name_start > 0 && !IsSeparator(path[name_start - 1])) --name_start;
  std::size_t dot = path.find_last_of(L'.');
  if (dot == std::wstring::npos || dot <= name_start) dot = path.size();
  const std::wstring mark = n <= 1 ? L" (recovered)" : L" (recovered " + std::to_wstring(n) + L")";
  return path.substr(0, dot) + mark + path.substr(dot);
}

Result<std::wstring> RecoverEarlierRecording(const std::wstring& path) {
  const std::wstring partial = PartialRecordingPath(path);
  if (!Exists(partial)) return std::wstring();
  DWORD error = ERROR_FILE_EXISTS;
  for (int n = 1; n <= kMaxRecoveredNames; ++n) {
    const std::wstring recovered = RecoveredPath(path, n);
    if (Exists(recovered)) continue;
    // Without MOVEFILE_REPLACE_EXISTING: a name taken since the look is
    // skipped, never replaced.
    error = MoveFileRetrying(partial.c_str(), recovered.c_str(), MOVEFILE_WRITE_THROUGH);
    if (error == ERROR_SUCCESS) return recovered;
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) break;
  }
  RecorderError failure = CallError("start_failed", "moving aside the earlier recording " +
                                    WideToUtf8(partial), HRESULT_FROM_WIN32(error));
  return failure;
}

}  // namespace morl::recorder
