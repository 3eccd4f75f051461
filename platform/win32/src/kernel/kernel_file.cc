#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <cerrno>
#include <map>
#include <memory>
#include <set>
#include <mutex>
#include <optional>
#include <string>

#include "kernel/kernel_file_rules.h"
#include "machine/machine_areas.h"
#include "windows.h"
#include "winsim.h"

namespace winsim {
namespace {

struct FileHandle {
  int fd = -1;
  FileOpen open;
};

struct FileState {
  std::mutex mutex;
  std::map<std::wstring, std::uint64_t> size_overrides;
  std::set<FileHandle*> handles;
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
  {
    std::lock_guard<std::mutex> lock(Files().mutex);
    Files().size_overrides.clear();
  }
  ResetFileRules();
}

bool CloseFileHandle(HANDLE handle) {
  auto* file = static_cast<FileHandle*>(handle);
  {
    std::lock_guard<std::mutex> lock(Files().mutex);
    if (Files().handles.erase(file) == 0) return false;
  }
  ::close(file->fd);
  delete file;
  RemoveLive(Kind::kOther, "file");
  return true;
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
  std::string utf8;
  if (const DWORD error = winsim::CheckFileName(lpFileName, &utf8); error != ERROR_SUCCESS) {
    SetLastError(error);
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

  struct stat info {};
  if (::stat(utf8.c_str(), &info) != 0) {
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
  std::string from;
  std::string to;
  DWORD error = winsim::CheckFileName(lpExistingFileName, &from);
  if (error == ERROR_SUCCESS) error = winsim::CheckFileName(lpNewFileName, &to);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  struct stat info {};
  if (::stat(from.c_str(), &info) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  // A file open without FILE_SHARE_DELETE cannot be renamed.
  if (error = winsim::CheckDeletable(from); error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  // Without MOVEFILE_REPLACE_EXISTING an existing target is kept, as on
  // Windows; rename() would replace it.
  const bool target_exists = ::stat(to.c_str(), &info) == 0;
  if ((dwFlags & MOVEFILE_REPLACE_EXISTING) == 0 && target_exists) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  // A file that is open in any mode cannot be replaced.
  if (target_exists && winsim::FileInUse(to)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    SetLastError(winsim::LastErrorOfErrno());
    return FALSE;
  }
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
  if (winsim::FailedByInjection("DeleteFileW")) return FALSE;
  std::string path;
  DWORD error = winsim::CheckFileName(lpFileName, &path);
  struct stat info {};
  if (error == ERROR_SUCCESS && ::stat(path.c_str(), &info) == 0) {
    error = winsim::CheckDeletable(path);
  }
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  if (std::remove(path.c_str()) != 0) {
    SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : winsim::LastErrorOfErrno());
    return FALSE;
  }
  return TRUE;
}

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                   DWORD /*dwFlagsAndAttributes*/, HANDLE /*hTemplateFile*/) {
  if (winsim::FailedByInjection("CreateFileW")) return INVALID_HANDLE_VALUE;
  std::string path;
  DWORD error = winsim::CheckFileName(lpFileName, &path);
  if (error == ERROR_SUCCESS &&
      (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING)) {
    error = ERROR_INVALID_PARAMETER;
  }
  struct stat info {};
  const bool exists = error == ERROR_SUCCESS && ::stat(path.c_str(), &info) == 0;
  const bool must_exist =
      dwCreationDisposition == OPEN_EXISTING || dwCreationDisposition == TRUNCATE_EXISTING;
  if (error == ERROR_SUCCESS) {
    if (exists && S_ISDIR(info.st_mode)) {
      error = ERROR_ACCESS_DENIED;
    } else if (!exists && must_exist) {
      error = ParentExists(path) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    } else if (exists && dwCreationDisposition == CREATE_NEW) {
      error = ERROR_FILE_EXISTS;
    }
  }
  auto file = std::make_unique<winsim::FileHandle>();
  if (error == ERROR_SUCCESS) error = file->open.Open(path, dwDesiredAccess, dwShareMode);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  const bool writes = (dwDesiredAccess & GENERIC_WRITE) != 0;
  int flags =
      O_CLOEXEC | (writes ? ((dwDesiredAccess & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY);
  if (!must_exist) flags |= O_CREAT;
  if (writes &&
      (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == TRUNCATE_EXISTING)) {
    flags |= O_TRUNC;
  }
  file->fd = ::open(path.c_str(), flags, 0644);
  if (file->fd < 0) {
    SetLastError(winsim::LastErrorOfErrno());
    return INVALID_HANDLE_VALUE;
  }
  {
    std::lock_guard<std::mutex> lock(winsim::Files().mutex);
    winsim::Files().handles.insert(file.get());
  }
  winsim::AddLive(winsim::Kind::kOther, "file");
  // Opening an existing file where one could have been created says so.
  const bool could_create =
      dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
  SetLastError(exists && could_create ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return file.release();
}
