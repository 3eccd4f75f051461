#include <cstring>
#include <cwchar>
#include <string>

#include "windows.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes UTF-8 into UTF-16 units. Each maximal ill-formed subpart (a lead
// byte and the continuation bytes that could still have completed it)
// becomes one U+FFFD, the practice Unicode recommends. Returns false on the
// first ill-formed subpart when `strict`.
bool DecodeUtf8(const unsigned char* in, std::size_t size, bool strict, std::u16string* out) {
  std::size_t i = 0;
  while (i < size) {
    const unsigned char lead = in[i];
    if (lead < 0x80) {
      out->push_back(lead);
      ++i;
      continue;
    }
    int needed = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the first continuation byte
    char32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      needed = 1;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      needed = 2;
      code = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;   // overlong
      if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      needed = 3;
      code = lead & 0x07;
      if (lead == 0xF0) low = 0x90;   // overlong
      if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    }
    std::size_t j = i + 1;
    bool complete = needed > 0;
    for (int k = 0; k < needed; ++k, ++j) {
      const unsigned char lo = k == 0 ? low : 0x80, hi = k == 0 ? high : 0xBF;
      if (j >= size || in[j] < lo || in[j] > hi) {
        complete = false;
        break;
      }
      code = (code << 6) | (in[j] & 0x3F);
    }
    if (!complete) {
      if (strict) return false;
      out->push_back(static_cast<char16_t>(kReplacement));
      i = j;  // the offending byte starts the next sequence
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(code));
    }
    i = j;
  }
  return true;
}

void AppendUtf8(char32_t code, std::string* out) {
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

// Encodes UTF-16 units held in wchar_t. An unpaired surrogate, or a value
// that is no 16-bit unit at all, is ill-formed.
bool EncodeUtf8(const wchar_t* in, std::size_t size, bool strict, std::string* out) {
  for (std::size_t i = 0; i < size; ++i) {
    const auto unit = static_cast<std::uint32_t>(in[i]);
    char32_t code = unit;
    bool valid = unit <= 0xFFFF;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      const auto next = i + 1 < size ? static_cast<std::uint32_t>(in[i + 1]) : 0u;
      valid = next >= 0xDC00 && next <= 0xDFFF;
      if (valid) {
        code = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
        ++i;
      }
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      valid = false;
    }
    if (!valid) {
      if (strict) return false;
      code = kReplacement;
    }
    AppendUtf8(code, out);
  }
  return true;
}

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (lpWideCharStr == nullptr && cchWideChar != 0) || CodePage != CP_UTF8) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if ((dwFlags & ~MB_ERR_INVALID_CHARS) != 0) return Fail(ERROR_INVALID_FLAGS);
  const std::size_t size =
      cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<std::size_t>(cbMultiByte);
  std::u16string wide;
  if (!DecodeUtf8(reinterpret_cast<const unsigned char*>(lpMultiByteStr), size,
                  (dwFlags & MB_ERR_INVALID_CHARS) != 0, &wide)) {
    return Fail(ERROR_NO_UNICODE_TRANSLATION);
  }
  const int count = static_cast<int>(wide.size());
  if (cchWideChar == 0) return count;
  if (count > cchWideChar) return Fail(ERROR_INSUFFICIENT_BUFFER);
  for (int k = 0; k < count; ++k) lpWideCharStr[k] = static_cast<wchar_t>(wide[k]);
  return count;
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar) {
  // UTF-8 has no default character: asking for one is a parameter error.
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (lpMultiByteStr == nullptr && cbMultiByte != 0) || CodePage != CP_UTF8 ||
      lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if ((dwFlags & ~WC_ERR_INVALID_CHARS) != 0) return Fail(ERROR_INVALID_FLAGS);
  const std::size_t size =
      cchWideChar == -1 ? std::wcslen(lpWideCharStr) + 1 : static_cast<std::size_t>(cchWideChar);
  std::string bytes;
  if (!EncodeUtf8(lpWideCharStr, size, (dwFlags & WC_ERR_INVALID_CHARS) != 0, &bytes)) {
    return Fail(ERROR_NO_UNICODE_TRANSLATION);
  }
  const int count = static_cast<int>(bytes.size());
  if (cbMultiByte == 0) return count;
  if (count > cbMultiByte) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(lpMultiByteStr, bytes.data(), bytes.size());
  return count;
}
