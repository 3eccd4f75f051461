#include <sys/stat.h>

#include <cstdio>

#include <cerrno>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "machine/machine_areas.h"
#include "windows.h"
#include "winsim.h"

namespace winsim {
namespace {

struct FileState {
  std::mutex mutex;
  std::map<std::wstring, std::uint64_t> size_overrides;
};

FileState& Files() {
  static FileState* state = new FileState;
  return *state;
}

std::wstring Normalized(std::wstring path) {
  for (wchar_t& c : path) {
    if (c == L'\\') c = L'/';
  }
  return path;
}

FILETIME FileTimeOf(const struct timespec& time) {
  // 100-ns ticks since 1601-01-01, the Windows file time epoch.
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(time.tv_sec) + 11'644'473'600ull) * 10'000'000ull +
      static_cast<std::uint64_t>(time.tv_nsec) / 100;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// The real file system's name of a Windows path: UTF-8, slashes.
std::string RealPath(const std::wstring& path) {
  const std::wstring normalized = Normalized(path);
  std::string utf8;
  const int bytes = normalized.empty() ? 0
                                       : WideCharToMultiByte(CP_UTF8, 0, normalized.c_str(), -1,
                                                             nullptr, 0, nullptr, nullptr);
  if (bytes > 0) {
    utf8.resize(static_cast<std::size_t>(bytes));
    WideCharToMultiByte(CP_UTF8, 0, normalized.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
    utf8.pop_back();  // the NUL
  }
  return utf8;
}

DWORD LastErrorOfErrno() {
  return errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
         : errno == EACCES || errno == EPERM || errno == EISDIR || errno == EEXIST
             ? ERROR_ACCESS_DENIED
             : ERROR_INVALID_PARAMETER;
}

}  // namespace

void SetFileSizeOverride(const std::wstring& path, std::uint64_t size) {
  std::lock_guard<std::mutex> lock(Files().mutex);
  Files().size_overrides[Normalized(path)] = size;
}

void ResetFileArea() {
  std::lock_guard<std::mutex> lock(Files().mutex);
  Files().size_overrides.clear();
}

}  // namespace winsim

namespace {

// True when the folder that would hold `path` exists (a bare name lives in
// the current folder).
bool ParentExists(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return true;
  if (slash == 0) return true;
  struct stat info {};
  return ::stat(path.substr(0, slash).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

BOOL GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId,
                          LPVOID lpFileInformation) {
  if (winsim::FailedByInjection("GetFileAttributesExW")) return FALSE;
  if (lpFileName == nullptr || lpFileInformation == nullptr ||
      fInfoLevelId != GetFileExInfoStandard) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::wstring path = winsim::Normalized(lpFileName);
  auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(lpFileInformation);

  std::optional<std::uint64_t> size_override;
  {
    std::lock_guard<std::mutex> lock(winsim::Files().mutex);
    auto it = winsim::Files().size_overrides.find(path);
    if (it != winsim::Files().size_overrides.end()) size_override = it->second;
  }

  const std::string utf8 = winsim::RealPath(path);
  struct stat info {};
  if (utf8.empty() || ::stat(utf8.c_str(), &info) != 0) {
    if (size_override) {
      // A file the test could not write: report it as a plain file.
      *data = WIN32_FILE_ATTRIBUTE_DATA{};
      data->dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
      data->nFileSizeHigh = static_cast<DWORD>(*size_override >> 32);
      data->nFileSizeLow = static_cast<DWORD>(*size_override);
      return TRUE;
    }
    // Windows tells a missing folder on the way (ERROR_PATH_NOT_FOUND) from
    // a missing last component (ERROR_FILE_NOT_FOUND).
    const int failure = errno;
    SetLastError(failure == EACCES ? ERROR_ACCESS_DENIED
                 : failure == ENOTDIR || (failure == ENOENT && !ParentExists(utf8))
                     ? ERROR_PATH_NOT_FOUND
                     : ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  const std::uint64_t size =
      size_override ? *size_override : static_cast<std::uint64_t>(info.st_size);
  *data = WIN32_FILE_ATTRIBUTE_DATA{};
  data->dwFileAttributes =
      S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if ((info.st_mode & S_IWUSR) == 0) data->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  data->ftCreationTime = winsim::FileTimeOf(info.st_ctim);
  data->ftLastAccessTime = winsim::FileTimeOf(info.st_atim);
  data->ftLastWriteTime = winsim::FileTimeOf(info.st_mtim);
  if (!S_ISDIR(info.st_mode)) {
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
  }
  return TRUE;
}

BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  if (winsim::FailedByInjection("MoveFileExW")) return FALSE;
  if (lpExistingFileName == nullptr || lpNewFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string from = winsim::RealPath(lpExistingFileName);
  const std::string to = winsim::RealPath(lpNewFileName);
  struct stat info {};
  if (from.empty() || ::stat(from.c_str(), &info) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  // Without MOVEFILE_REPLACE_EXISTING an existing target is kept, as on
  // Windows; rename() would replace it.
  if ((dwFlags & MOVEFILE_REPLACE_EXISTING) == 0 && ::stat(to.c_str(), &info) == 0) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (to.empty() || std::rename(from.c_str(), to.c_str()) != 0) {
    SetLastError(winsim::LastErrorOfErrno());
    return FALSE;
  }
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
  if (winsim::FailedByInjection("DeleteFileW")) return FALSE;
  const std::string path = lpFileName != nullptr ? winsim::RealPath(lpFileName) : std::string();
  if (path.empty() || std::remove(path.c_str()) != 0) {
    SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : winsim::LastErrorOfErrno());
    return FALSE;
  }
  return TRUE;
}
