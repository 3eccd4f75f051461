// Moving and deleting files that something else may hold for a moment.
//
// Right after a file is closed, the search indexer, a virus scanner or a
// thumbnail maker may open it for a short while; a rename or delete then
// fails with ERROR_SHARING_VIOLATION (or ERROR_LOCK_VIOLATION) though nothing
// is wrong. These calls try again until the file is free, for at most
// kFileRetryMs. Any other failure is returned at once. Waits are plain
// Sleeps; the limit is measured on the performance counter, so it holds
// whatever the timer resolution.
#pragma once

#include <windows.h>

namespace morl {

// How long a held file is waited for.
constexpr DWORD kFileRetryMs = 2000;

// True when `error` means another program holds the file for now.
bool IsTransientFileError(DWORD error);

// MoveFileExW, tried again while the file is held. Returns ERROR_SUCCESS or
// the last call's error.
DWORD MoveFileRetrying(const wchar_t* from, const wchar_t* to, DWORD flags);

// DeleteFileW, tried again while the file is held. Returns ERROR_SUCCESS or
// the last call's error.
DWORD DeleteFileRetrying(const wchar_t* path);

// Milliseconds on the performance counter.
long long MillisecondsNow();

// Calls `attempt` (which returns ERROR_SUCCESS or an error code) until it
// succeeds, fails otherwise than by a held file, or kFileRetryMs have passed.
template <typename Attempt>
DWORD RetryWhileHeld(Attempt attempt) {
  const long long deadline = MillisecondsNow() + kFileRetryMs;
  for (;;) {
    const DWORD error = attempt();
    if (!IsTransientFileError(error) || MillisecondsNow() >= deadline) return error;
    Sleep(15);
  }
}

}  // namespace morl
