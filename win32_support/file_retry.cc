#include "win32_support/file_retry.h"

namespace morl {

long long MillisecondsNow() {
  LARGE_INTEGER count{};
  LARGE_INTEGER frequency{};
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  if (frequency.QuadPart <= 0) return 0;
  return count.QuadPart / frequency.QuadPart * 1000 +
         count.QuadPart % frequency.QuadPart * 1000 / frequency.QuadPart;
}

namespace {

// ERROR_LOCK_VIOLATION, which not every header set names.
constexpr DWORD kErrorLockViolation = 33;

}  // namespace

bool IsTransientFileError(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == kErrorLockViolation;
}

DWORD MoveFileRetrying(const wchar_t* from, const wchar_t* to, DWORD flags) {
  return RetryWhileHeld(
      [&] { return MoveFileExW(from, to, flags) ? ERROR_SUCCESS : GetLastError(); });
}

DWORD DeleteFileRetrying(const wchar_t* path) {
  return RetryWhileHeld([&] { return DeleteFileW(path) ? ERROR_SUCCESS : GetLastError(); });
}

}  // namespace morl
