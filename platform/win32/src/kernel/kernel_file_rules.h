// Windows' rules for file names and for files that are open, which the
// simulated file functions (CreateFileW, MoveFileExW, DeleteFileW,
// GetFileAttributesExW) and the sink writer's file keep:
//  - Names ("Naming Files, Paths, and Namespaces"): without the \\?\ prefix a
//    path of MAX_PATH (260) characters or more is refused
//    (ERROR_PATH_NOT_FOUND, what CreateFileW gives for it), < > " | ? * and
//    the characters 1-31 are invalid in a name, as is ':' anywhere but after
//    a drive letter (ERROR_INVALID_NAME), and trailing dots and spaces of
//    the last component are dropped. A last component whose base name (up
//    to its first dot, trailing spaces ignored, any case) is CON, PRN, AUX,
//    NUL, COM0-COM9 or LPT0-LPT9 (also COM and LPT with the superscript
//    digits 1-3) names that device, in any folder and with any extension.
//    The prefix skips all of this.
//  - Sharing ("Creating and Opening Files"): an open must be allowed by the
//    share mode of every open of the same file, and must itself share what
//    they already have; else ERROR_SHARING_VIOLATION. Renaming or deleting
//    needs every open to share delete; a rename cannot replace a file that is
//    open at all (ERROR_ACCESS_DENIED, as NTFS refuses to supersede it).
//  - Holds: a file whose name ends in a suffix of the machine file's
//    "file_holds" stays held for that many milliseconds after its last close,
//    as if a scanner or indexer had it open without sharing.
#pragma once

#include <cstdint>
#include <string>

#include "windows.h"

namespace winsim {

// Checks `path` against the naming rules; on success sets `real` to the file
// system's name for it (UTF-8, slashes) and gives ERROR_SUCCESS.
DWORD CheckFileName(const wchar_t* path, std::string* real);

// The device the last component of `path` names. The machine has only the
// null device behind those names; the others name nothing there.
enum class Device { kNone, kNull, kAbsent };
Device DeviceOf(const wchar_t* path);
// Where the null device's data goes on the host.
inline constexpr char kNullDevicePath[] = "/dev/null";

// One open of a file, registered for the sharing rules while it lives.
class FileOpen {
 public:
  FileOpen() = default;
  FileOpen(const FileOpen&) = delete;
  FileOpen& operator=(const FileOpen&) = delete;
  ~FileOpen() { Close(); }
  // ERROR_SUCCESS, or ERROR_SHARING_VIOLATION when an open or a hold of
  // `real` does not allow `access` with `share`.
  DWORD Open(const std::string& real, DWORD access, DWORD share);
  void Close();

 private:
  std::string real_;
  std::uint64_t id_ = 0;
};

// ERROR_SHARING_VIOLATION while `real` is open without FILE_SHARE_DELETE or
// held; else ERROR_SUCCESS.
DWORD CheckDeletable(const std::string& real);
// Whether `real` is open (in any mode) or held: a rename cannot replace it.
bool FileInUse(const std::string& real);

// Closes `handle` when it is a file CreateFileW opened; false otherwise.
bool CloseFileHandle(HANDLE handle);

void AddFileHold(const std::string& suffix, std::int64_t ms);
void ResetFileRules();

}  // namespace winsim
