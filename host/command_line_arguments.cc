#include "host/command_line_arguments.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

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
  const int length = static_cast<int>(wcsnlen(word, kMaxWordLength));
  const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, word, length, nullptr, 0,
                                       nullptr, nullptr);
  if (size == 0) return std::string();
  std::string utf8(static_cast<size_t>(size), '\0');
  const int written = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, word, length, utf8.data(),
                                          size, nullptr, nullptr);
  if (written == 0) return std::string();
  return utf8;
}
