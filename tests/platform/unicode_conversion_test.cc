// Conversion on the simulated machine where no contract case can pin it:
// how many U+FFFD stand for longer ill-formed sequences (Microsoft documents
// only that they are replaced; Wine counts them otherwise), a wchar_t of 32
// bits as Linux has, and the last error of a thread that only read it. (The
// rules Windows documents are contract cases: tests/contract/utf8_contract_test.)
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

namespace {

constexpr wchar_t kBad = 0xFFFD;

// One U+FFFD per maximal ill-formed subpart, and a refusal when strict.
TEST(MultiByteToWideChar, ReplacesEachByteOfALongerIllFormedSequence) {
  const struct {
    const char* name;
    std::string utf8;
    std::vector<wchar_t> utf16;
  } cases[] = {
      {"overlong three bytes", "\xE0\x80\xAF", {kBad, kBad, kBad}},
      {"encoded surrogate", "\xED\xA0\x80", {kBad, kBad, kBad}},
      {"above U+10FFFF", "\xF4\x90\x80\x80", {kBad, kBad, kBad, kBad}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int size = static_cast<int>(c.utf8.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, c.utf8.data(), size, nullptr, 0);
    ASSERT_EQ(needed, static_cast<int>(c.utf16.size()));
    std::vector<wchar_t> out(needed);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.utf8.data(), size, out.data(), needed), needed);
    EXPECT_EQ(out, c.utf16);
    SetLastError(0);
    EXPECT_EQ(
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, c.utf8.data(), size, out.data(), needed),
        0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
  }
}

TEST(WideCharToMultiByte, UnitBeyond16BitsIsReplaced) {
  const wchar_t unit[] = {static_cast<wchar_t>(0x1F600)};
  const int needed = WideCharToMultiByte(CP_UTF8, 0, unit, 1, nullptr, 0, nullptr, nullptr);
  ASSERT_EQ(needed, 3);
  std::string out(needed, '\0');
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, unit, 1, out.data(), needed, nullptr, nullptr), needed);
  EXPECT_EQ(out, "\xEF\xBF\xBD");
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, unit, 1, out.data(), needed, nullptr,
                                nullptr),
            0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
}

// Starting and joining a thread leaves this thread's last error alone on the
// machine (a Windows runtime's thread calls may set it), and a new thread
// starts with none.
TEST(LastError, IsPerThread) {
  SetLastError(5);
  DWORD other = 1;
  std::thread([&other] { other = GetLastError(); }).join();
  EXPECT_EQ(other, 0u);
  EXPECT_EQ(GetLastError(), 5u);
}

}  // namespace
