#include "messaging/diagnostic.h"

#include <cstdio>

namespace flutter {

void WriteDiagnosticLine(const std::string& line) {
  std::string text = line + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace flutter
