#include "sink_writer_path.h"

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

void AppendUtf8(std::string* out, std::uint32_t code) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// UTF-16 to UTF-8; false on an unpaired surrogate, which no file can be named.
bool ToUtf8(const std::wstring& wide, std::string* out) {
  for (std::size_t i = 0; i < wide.size(); ++i) {
    std::uint32_t unit = static_cast<std::uint32_t>(wide[i]) & 0xFFFF;
    if (unit >= 0xD800 && unit < 0xDC00) {
      const std::uint32_t low =
          i + 1 < wide.size() ? static_cast<std::uint32_t>(wide[i + 1]) & 0xFFFF : 0;
      if (low < 0xDC00 || low >= 0xE000) return false;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      ++i;
    } else if (unit >= 0xDC00 && unit < 0xE000) {
      return false;
    }
    AppendUtf8(out, unit == '\\' ? '/' : unit);
  }
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

HRESULT ResolveSinkPath(const std::wstring& url, bool create, std::string* path) {
  std::string local;
  if (url.empty() || !ToUtf8(url, &local)) return E_INVALIDARG;
  if (!IsMp4Extension(local)) return kUnsupportedByteStreamType;
  if (create) {
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
