#include "win32_support/hresult_text.h"

#include <cstdint>
#include <cstdio>

namespace morl {

std::string HresultText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "hr=0x%x",
                static_cast<unsigned>(static_cast<std::uint32_t>(hr)));
  return text;
}

}  // namespace morl
