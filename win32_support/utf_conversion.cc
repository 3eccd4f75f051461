#include "win32_support/utf_conversion.h"

#include <windows.h>

#include <climits>

namespace morl {

// The conversion functions take int lengths; a longer input would be cut to a
// wrong (possibly negative) length, so it converts to nothing instead.

std::wstring Utf8ToWide(const std::string& utf8) {
  if (utf8.empty() || utf8.size() > static_cast<std::size_t>(INT_MAX)) return {};
  const int in_length = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in_length, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  const int written = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in_length, &wide[0], length);
  wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return wide;
}

bool IsValidUtf8(const std::string& utf8) {
  if (utf8.empty()) return true;
  if (utf8.size() > static_cast<std::size_t>(INT_MAX)) return false;
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                             static_cast<int>(utf8.size()), nullptr, 0) > 0;
}

std::string WideToUtf8(const std::wstring& wide) {
  if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX)) return {};
  const int in_length = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), in_length, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string utf8(static_cast<std::size_t>(length), '\0');
  const int written =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), in_length, &utf8[0], length, nullptr, nullptr);
  utf8.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return utf8;
}

}  // namespace morl
