// kernel32 of the simulated machine: the performance counter and Sleep
// (driven by the machine's clock, at its speed; Sleep ends on the first timer
// tick at or after its due time, see mmsystem.h), the thread's last error, UTF-8/UTF-16
// code-page conversion, and file attributes read from the real file system.
#pragma once

#include "win32sim/base.h"

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;

BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency);
void Sleep(DWORD dwMilliseconds);

DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

constexpr DWORD ERROR_INVALID_FLAGS = 1004;

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;

// Only CP_UTF8 is supported. As on Windows: a length of -1 means the input is
// NUL-terminated and the count includes the NUL; a zero output size asks for
// the size; ill-formed input becomes U+FFFD unless the *_ERR_INVALID_CHARS
// flag is given, which fails with ERROR_NO_UNICODE_TRANSLATION.
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar);

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
using LPFILETIME = FILETIME*;

// UTC as the host had it when the process first asked, moved on with machine
// time (at the clock's speed; a manual clock moves it only when it moves).
void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);

enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard, GetFileExMaxInfoLevel };

struct WIN32_FILE_ATTRIBUTE_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
};

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

// Reads the real file system: the path is converted to UTF-8 with every
// backslash turned into a slash, after Windows' naming rules
// (src/kernel/kernel_file_rules.h). Failable as "GetFileAttributesExW".
BOOL GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId,
                          LPVOID lpFileInformation);

// Event objects and waits. Counted as live "other:event" until closed. A
// timed wait, like Sleep, ends on the first timer tick at or after its
// timeout (mmsystem.h). On a manual clock a wait that would time out moves
// the clock to that tick and runs the sleep hook (a timed wait is how a
// worker sleeps), then looks once more; an INFINITE wait on events only
// really blocks. Only waits for any one object are supported (bWaitAll must
// be FALSE).
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    LPCWSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);
BOOL CloseHandle(HANDLE hObject);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds);

// Waitable timers, counted as live "other:waitable timer" until closed; the
// waits above take them. The due time of SetWaitableTimer is relative
// (negative, 100-ns units) or absolute (positive, a UTC FILETIME against
// GetSystemTimeAsFileTime); the timer is signalled on the first timer tick at
// or after it (mmsystem.h) unless created with
// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, and then every lPeriod ms after it
// (periods missed while nobody waited are not queued). Setting a timer makes
// it non-signalled; CancelWaitableTimer stops it and leaves its state. A
// synchronization timer (not manual-reset) releases one wait and is reset.
// On a manual clock a wait that a timer ends first moves the clock to when
// it is signalled, without the sleep hook; an INFINITE wait on a set timer
// does so too. Completion routines and named timers are not supported
// (ERROR_NOT_SUPPORTED). Failable as "CreateWaitableTimerW" and
// "CreateWaitableTimerExW".
constexpr DWORD CREATE_WAITABLE_TIMER_MANUAL_RESET = 0x1;
constexpr DWORD CREATE_WAITABLE_TIMER_HIGH_RESOLUTION = 0x2;
constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD TIMER_QUERY_STATE = 0x1;
constexpr DWORD TIMER_MODIFY_STATE = 0x2;
constexpr DWORD TIMER_ALL_ACCESS = 0x001F0003;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
using PTIMERAPCROUTINE = void(CALLBACK*)(LPVOID lpArgToCompletionRoutine, DWORD dwTimerLowValue,
                                         DWORD dwTimerHighValue);
HANDLE CreateWaitableTimerW(LPSECURITY_ATTRIBUTES lpTimerAttributes, BOOL bManualReset,
                            LPCWSTR lpTimerName);
HANDLE CreateWaitableTimerExW(LPSECURITY_ATTRIBUTES lpTimerAttributes, LPCWSTR lpTimerName,
                              DWORD dwFlags, DWORD dwDesiredAccess);
BOOL SetWaitableTimer(HANDLE hTimer, const LARGE_INTEGER* lpDueTime, LONG lPeriod,
                      PTIMERAPCROUTINE pfnCompletionRoutine, LPVOID lpArgToCompletionRoutine,
                      BOOL fResume);
BOOL CancelWaitableTimer(HANDLE hTimer);

// Renames or deletes a file on the real file system (paths as for
// GetFileAttributesExW), refused while the file is open without
// FILE_SHARE_DELETE or held. Failable as "MoveFileExW" and "DeleteFileW".
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;
constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;
BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags);
BOOL DeleteFileW(LPCWSTR lpFileName);

// Opens or creates a file on the real file system, keeping Windows' naming
// rules and share modes (src/kernel/kernel_file_rules.h); CloseHandle closes
// it. A NUL name opens the null device. Failable as "CreateFileW". ReadFile
// and WriteFile work on such a handle synchronously only (no OVERLAPPED).
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD DELETE = 0x00010000;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))
HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);

struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
