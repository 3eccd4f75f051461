// HresultText: "hr=0x" and the code in lowercase hexadecimal without leading
// zeros, the tail of every recorder message built around an HRESULT.
#pragma once

#include <windows.h>

#include <string>

namespace morl {

std::string HresultText(HRESULT hr);

}  // namespace morl
