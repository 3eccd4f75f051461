// UTF-8 <-> UTF-16 conversions through the system's code-page conversion.
// Invalid sequences become U+FFFD; neither conversion fails.
#pragma once

#include <string>

namespace morl {

std::wstring Utf8ToWide(const std::string& utf8);
// True when `utf8` is well-formed UTF-8 (the empty text is).
bool IsValidUtf8(const std::string& utf8);
std::string WideToUtf8(const std::wstring& wide);

}  // namespace morl
