#include "mf/sink_writer_path.h"

#include "win32sim/kernel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace winsim {
namespace {

constexpr HRESULT kUnsupportedByteStreamType = static_cast<HRESULT>(0xC00D36C4u);
constexpr DWORD kErrorDiskFull = 112;

// UTF-16 to UTF-8, backslashes turned into '/'; false on an unpaired
// surrogate, which no file can be named.
bool ToUtf8(const std::wstring& wide, std::string* out) {
  const int size = static_cast<int>(wide.size());
  const int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, nullptr,
                                        0, nullptr, nullptr);
  if (bytes <= 0) return false;
  out->assign(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, &(*out)[0], bytes, nullptr,
                      nullptr);
  std::replace(out->begin(), out->end(), '\\', '/');
  return true;
}

bool IsMp4Extension(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == "mp4" || extension == "m4v" || extension == "m4a";
}

}  // namespace

HRESULT HresultFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return E_ACCESSDENIED;
    case ENOSPC:
    case EDQUOT:
      return HRESULT_FROM_WIN32(kErrorDiskFull);
    case ENOMEM:
      return E_OUTOFMEMORY;
    default:
      return E_FAIL;
  }
}

HRESULT ResolveSinkPath(const std::wstring& url, bool create, std::string* path, FileOpen* file) {
  std::string local;
  if (url.empty() || !ToUtf8(url, &local)) return E_INVALIDARG;
  if (!IsMp4Extension(local)) return kUnsupportedByteStreamType;
  if (const DWORD error = CheckFileName(url.c_str(), &local); error != ERROR_SUCCESS) {
    return HRESULT_FROM_WIN32(error);
  }
  // A device name: the bytes of a NUL target go to the null device, which
  // any number of writers share; the other devices are not on the machine.
  switch (DeviceOf(url.c_str())) {
    case Device::kNull:
      *path = kNullDevicePath;
      return S_OK;
    case Device::kAbsent:
      return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    case Device::kNone:
      break;
  }
  if (create) {
    constexpr DWORD kWrite = 0x40000000;  // GENERIC_WRITE
    constexpr DWORD kShareRead = 0x1;
    if (const DWORD error = file->Open(local, kWrite, kShareRead); error != ERROR_SUCCESS) {
      return HRESULT_FROM_WIN32(error);
    }
    const int fd = open(local.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return HresultFromErrno(errno);
    close(fd);
  } else {
    const std::size_t slash = local.rfind('/');
    const std::string directory =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : local.substr(0, slash));
    struct stat info {};
    if (stat(directory.c_str(), &info) != 0) return HresultFromErrno(errno);
    if (!S_ISDIR(info.st_mode)) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  }
  *path = std::move(local);
  return S_OK;
}

}  // namespace winsim
