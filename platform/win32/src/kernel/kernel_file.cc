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

namespace {

// The descriptor behind a handle CreateFileW gave; -1 for any other handle.
int DescriptorOf(HANDLE handle) {
  std::lock_guard<std::mutex> lock(Files().mutex);
  auto* file = static_cast<FileHandle*>(handle);
  return Files().handles.count(file) != 0 ? file->fd : -1;
}

HANDLE Register(std::unique_ptr<FileHandle> file) {
  {
    std::lock_guard<std::mutex> lock(Files().mutex);
    Files().handles.insert(file.get());
  }
  AddLive(Kind::kOther, "file");
  return file.release();
}

}  // namespace

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
  // A device name never reads a file of that name: the null device is a
  // plain empty file to this call, the absent ones are not found.
  switch (winsim::DeviceOf(lpFileName)) {
    case winsim::Device::kNull:
      *data = WIN32_FILE_ATTRIBUTE_DATA{};
      data->dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
      return TRUE;
    case winsim::Device::kAbsent:
      SetLastError(ERROR_FILE_NOT_FOUND);
      return FALSE;
    case winsim::Device::kNone:
      break;
  }

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
  // A device cannot be renamed, as it cannot be deleted.
  if (error == ERROR_SUCCESS && winsim::DeviceOf(lpExistingFileName) != winsim::Device::kNone) {
    error = ERROR_ACCESS_DENIED;
  }
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
  switch (winsim::DeviceOf(lpNewFileName)) {
    case winsim::Device::kAbsent:
      SetLastError(ERROR_FILE_NOT_FOUND);
      return FALSE;
    case winsim::Device::kNull:
      // Another device: only a copy gets there, a folder not even that. The
      // copy's bytes vanish, then the source goes as after any copy.
      if ((dwFlags & MOVEFILE_COPY_ALLOWED) == 0 || S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_NOT_SAME_DEVICE);
        return FALSE;
      }
      if (std::remove(from.c_str()) != 0) {
        SetLastError(winsim::LastErrorOfErrno());
        return FALSE;
      }
      return TRUE;
    case winsim::Device::kNone:
      break;
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
  if (error == ERROR_SUCCESS && winsim::DeviceOf(lpFileName) != winsim::Device::kNone) {
    error = ERROR_ACCESS_DENIED;  // a device is not a file to delete
  }
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
  const bool writes = (dwDesiredAccess & GENERIC_WRITE) != 0;
  const int access_flags =
      writes ? ((dwDesiredAccess & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
  if (error == ERROR_SUCCESS) {
    switch (winsim::DeviceOf(lpFileName)) {
      case winsim::Device::kNull: {
        // The null device opens whatever the disposition and whoever else
        // has it open; no file is created or truncated.
        auto device = std::make_unique<winsim::FileHandle>();
        device->fd = ::open(winsim::kNullDevicePath, access_flags | O_CLOEXEC);
        if (device->fd < 0) {
          SetLastError(winsim::LastErrorOfErrno());
          return INVALID_HANDLE_VALUE;
        }
        SetLastError(ERROR_SUCCESS);
        return winsim::Register(std::move(device));
      }
      case winsim::Device::kAbsent:
        error = ERROR_FILE_NOT_FOUND;
        break;
      case winsim::Device::kNone:
        break;
    }
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
  int flags = O_CLOEXEC | access_flags;
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
  // Opening an existing file where one could have been created says so.
  const bool could_create =
      dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
  SetLastError(exists && could_create ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return winsim::Register(std::move(file));
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  const int fd = winsim::DescriptorOf(hFile);
  if (fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpOverlapped != nullptr || (lpBuffer == nullptr && nNumberOfBytesToWrite != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto* bytes = static_cast<const char*>(lpBuffer);
  DWORD done = 0;
  while (done < nNumberOfBytesToWrite) {
    const ssize_t wrote = ::write(fd, bytes + done, nNumberOfBytesToWrite - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      // A handle opened without write access cannot write.
      SetLastError(errno == EBADF ? ERROR_ACCESS_DENIED : winsim::LastErrorOfErrno());
      return FALSE;
    }
    done += static_cast<DWORD>(wrote);
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = done;
  }
  return TRUE;
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
  const int fd = winsim::DescriptorOf(hFile);
  if (fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpOverlapped != nullptr || (lpBuffer == nullptr && nNumberOfBytesToRead != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ssize_t got = -1;
  do {
    got = ::read(fd, lpBuffer, nNumberOfBytesToRead);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    SetLastError(errno == EBADF ? ERROR_ACCESS_DENIED : winsim::LastErrorOfErrno());
    return FALSE;
  }
  // At the end of the file the read succeeds with no bytes.
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = static_cast<DWORD>(got);
  return TRUE;
}
