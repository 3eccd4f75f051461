// The simulated CommandLineToArgvW and the quoting of the simulation's main:
// the product's argument list depends on both being exactly Windows'.
#include <gtest/gtest.h>
#include <shellapi.h>
#include <windows.h>
#include <winsim.h>
#include <winsim_host.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Split(const wchar_t* line) {
  int count = -1;
  wchar_t** words = CommandLineToArgvW(line, &count);
  std::vector<std::wstring> result;
  if (words == nullptr) return result;
  for (int i = 0; i < count; ++i) result.emplace_back(words[i]);
  EXPECT_EQ(words[count], nullptr);
  EXPECT_EQ(LocalFree(words), nullptr);
  return result;
}

struct SplitCase {
  const wchar_t* line;
  std::vector<std::wstring> words;
};

TEST(CommandLineSplit, FollowsWindowsRules) {
  const SplitCase cases[] = {
      {L"app.exe", {L"app.exe"}},
      {L"app.exe   ", {L"app.exe"}},
      {L"\"C:\\Program Files\\app.exe\" a", {L"C:\\Program Files\\app.exe", L"a"}},
      // The program name knows no escapes: a backslash before its quote stays.
      {L"\"C:\\dir\\\" x", {L"C:\\dir\\", L"x"}},
      {L"app a\tb  c", {L"app", L"a", L"b", L"c"}},
      {L"app \"\"", {L"app", L""}},
      {L"app a \"\" b", {L"app", L"a", L"", L"b"}},
      {L"app \"a b\" c", {L"app", L"a b", L"c"}},
      {L"app a\\\\b", {L"app", L"a\\\\b"}},        // backslashes alone stay literal
      {L"app a\\\"b", {L"app", L"a\"b"}},          // 1 backslash + quote: literal quote
      {L"app a\\\\\"b c\"", {L"app", L"a\\b c"}},  // 2 backslashes + quote: 1 and toggle
      {L"app a\\\\\\\"b", {L"app", L"a\\\"b"}},    // 3 + quote: 1 and a literal quote
      {L"app \"a\"\"b\"", {L"app", L"a\"b"}},      // doubled quote inside quotes
      {L"app \"\"\"\"", {L"app", L"\""}},
      {L"app \"a\"b\" c\"", {L"app", L"ab c"}},
      {L"app \"unterminated arg", {L"app", L"unterminated arg"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Split(c.line), c.words) << std::wstring(c.line).size();
  EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
}

TEST(CommandLineSplit, EmptyLineGivesTheProgramAndNullFails) {
  EXPECT_EQ(Split(L"").size(), 1u);
  int count = 0;
  EXPECT_EQ(CommandLineToArgvW(nullptr, &count), nullptr);
  winsim::FailCall("CommandLineToArgvW", E_OUTOFMEMORY);
  EXPECT_EQ(CommandLineToArgvW(L"app a", &count), nullptr);
  winsim::ClearFailures();
  EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
}

TEST(CommandLineSplit, QuotedWordsReadBackUnchanged) {
  const std::vector<std::string> words = {"dir with space/app",
                                          "plain",
                                          "",
                                          "a b",
                                          "quote\"inside",
                                          "trail\\",
                                          "trail space\\",
                                          "\\\\server\\share",
                                          "\\\"",
                                          "\xF0\x9F\x98\x80",
                                          "caf\xC3\xA9"};
  const std::wstring line = winsim::QuoteCommandLine(words);
  const std::vector<std::wstring> back = Split(line.c_str());
  ASSERT_EQ(back.size(), words.size());
  EXPECT_EQ(back[0], L"dir with space/app");
  EXPECT_EQ(back[2], L"");
  EXPECT_EQ(back[4], L"quote\"inside");
  EXPECT_EQ(back[5], L"trail\\");
  EXPECT_EQ(back[6], L"trail space\\");
  EXPECT_EQ(back[8], L"\\\"");
  EXPECT_EQ(back[9], (std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}));
  EXPECT_EQ(back[10], L"caf\u00e9");
  // Invalid UTF-8 is replaced, not dropped.
  EXPECT_EQ(Split(winsim::QuoteCommandLine({"p", "a\xFF"}).c_str())[1], L"a\uFFFD");
}

}  // namespace
