// The process command line as the application's entry-point arguments.
#pragma once

#include <string>
#include <vector>

namespace morl::host {

// Every word after the program name, in order, each converted to UTF-8 on
// its own. Empty when the command line cannot be split.
std::vector<std::string> CollectCommandLineArguments();

// `word` (NUL-terminated UTF-16, may be null) as UTF-8 by WideToUtf8 (an
// unpaired surrogate becomes U+FFFD); "" for null or an empty word. Words
// longer than 32767 units are cut to that length first.
std::string ArgumentToUtf8(const wchar_t* word);

}  // namespace morl::host
