#include "recorder/recorder_error.h"

#include <cstdio>

#include "win32_support/hresult_text.h"

namespace morl::recorder {

RecorderError CallError(const char* code, const std::string& step, HRESULT hr) {
  return RecorderError{code, step + " " + HresultText(hr), hr};
}

void WriteRecorderDiagnostic(const std::string& line) {
  std::fputs((line + "\n").c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace morl::recorder
