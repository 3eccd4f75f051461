// One diagnostic line on the standard error stream, newline-ended and flushed.
// The line is written in one piece so lines from several threads never mix.
#ifndef MORL_MESSAGING_DIAGNOSTIC_H_
#define MORL_MESSAGING_DIAGNOSTIC_H_

#include <string>

namespace flutter {

void WriteDiagnosticLine(const std::string& line);

}  // namespace flutter

#endif  // MORL_MESSAGING_DIAGNOSTIC_H_
