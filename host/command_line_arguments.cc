#include "host/command_line_arguments.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "win32_support/utf_conversion.h"

namespace morl::host {

namespace {

// The longest command line Windows passes to a process.
constexpr size_t kMaxWordLength = 32767;

}  // namespace

std::vector<std::string> CollectCommandLineArguments() {
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (words == nullptr) return {};

  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(ArgumentToUtf8(words[i]));
  LocalFree(words);
  return arguments;
}

std::string ArgumentToUtf8(const wchar_t* word) {
  if (word == nullptr) return std::string();
  return WideToUtf8(std::wstring(word, wcsnlen(word, kMaxWordLength)));
}

}  // namespace morl::host
