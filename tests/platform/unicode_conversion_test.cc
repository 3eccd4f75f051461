#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

namespace {

constexpr wchar_t kBad = 0xFFFD;

struct DecodeCase {
  const char* name;
  std::string utf8;
  std::vector<wchar_t> utf16;  // with no flags; ill-formed input uses kBad
  bool well_formed;
};

const DecodeCase kDecodeCases[] = {
    {"ascii", "Az", {L'A', L'z'}, true},
    {"two bytes", "\xC3\xA9", {0xE9}, true},
    {"three bytes", "\xE2\x82\xAC", {0x20AC}, true},
    {"non-BMP becomes a surrogate pair", "\xF0\x9F\x98\x80", {0xD83D, 0xDE00}, true},
    {"largest code point", "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}, true},
    {"embedded NUL is data", std::string("a\0b", 3), {L'a', 0, L'b'}, true},
    {"lone continuation byte", "\x80", {kBad}, false},
    {"byte never used", "\xFF", {kBad}, false},
    {"overlong NUL", "\xC0\x80", {kBad, kBad}, false},
    {"overlong three bytes", "\xE0\x80\xAF", {kBad, kBad, kBad}, false},
    {"encoded surrogate", "\xED\xA0\x80", {kBad, kBad, kBad}, false},
    {"above U+10FFFF", "\xF4\x90\x80\x80", {kBad, kBad, kBad, kBad}, false},
    {"truncated at the end", "\xE2\x82", {kBad}, false},
    {"truncated before ASCII",
     "\xE2\x82"
     "A",
     {kBad, L'A'},
     false},
    {"truncated four bytes then two bytes", "\xF0\x9F\x98\xC3\xA9", {kBad, 0xE9}, false},
};

TEST(MultiByteToWideChar, DecodesAndReplacesIllFormedSubparts) {
  for (const DecodeCase& c : kDecodeCases) {
    SCOPED_TRACE(c.name);
    const int size = static_cast<int>(c.utf8.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, c.utf8.data(), size, nullptr, 0);
    ASSERT_EQ(needed, static_cast<int>(c.utf16.size()));
    std::vector<wchar_t> out(needed);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.utf8.data(), size, out.data(), needed), needed);
    EXPECT_EQ(out, c.utf16);

    SetLastError(0);
    const int strict =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, c.utf8.data(), size, out.data(), needed);
    if (c.well_formed) {
      EXPECT_EQ(strict, needed);
    } else {
      EXPECT_EQ(strict, 0);
      EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    }
  }
}

struct EncodeCase {
  const char* name;
  std::vector<wchar_t> utf16;
  std::string utf8;  // with no flags
  bool well_formed;
};

const EncodeCase kEncodeCases[] = {
    {"ascii", {L'h', L'i'}, "hi", true},
    {"two and three bytes", {0xE9, 0x20AC}, "\xC3\xA9\xE2\x82\xAC", true},
    {"surrogate pair to four bytes", {0xD83D, 0xDE00}, "\xF0\x9F\x98\x80", true},
    {"high surrogate at the end", {L'a', 0xD83D}, "a\xEF\xBF\xBD", false},
    {"high surrogate before a letter",
     {0xD83D, L'b'},
     "\xEF\xBF\xBD"
     "b",
     false},
    {"low surrogate alone",
     {0xDE00, L'c'},
     "\xEF\xBF\xBD"
     "c",
     false},
    {"two high surrogates then low",
     {0xD83D, 0xD83D, 0xDE00},
     "\xEF\xBF\xBD\xF0\x9F\x98\x80",
     false},
    {"not a 16-bit unit", {static_cast<wchar_t>(0x1F600)}, "\xEF\xBF\xBD", false},
};

TEST(WideCharToMultiByte, EncodesAndReplacesUnpairedSurrogates) {
  for (const EncodeCase& c : kEncodeCases) {
    SCOPED_TRACE(c.name);
    const int size = static_cast<int>(c.utf16.size());
    const int needed =
        WideCharToMultiByte(CP_UTF8, 0, c.utf16.data(), size, nullptr, 0, nullptr, nullptr);
    ASSERT_EQ(needed, static_cast<int>(c.utf8.size()));
    std::string out(needed, '\0');
    EXPECT_EQ(
        WideCharToMultiByte(CP_UTF8, 0, c.utf16.data(), size, out.data(), needed, nullptr, nullptr),
        needed);
    EXPECT_EQ(out, c.utf8);

    SetLastError(0);
    const int strict = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, c.utf16.data(), size,
                                           out.data(), needed, nullptr, nullptr);
    EXPECT_EQ(strict, c.well_formed ? needed : 0);
    if (!c.well_formed) {
      EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    }
  }
}

TEST(CodePageConversion, TerminatedInputCountsTheNul) {
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC3\xA9x", -1, nullptr, 0), 3);
  wchar_t wide[3] = {1, 1, 1};
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC3\xA9x", -1, wide, 3), 3);
  EXPECT_EQ(wide[2], L'\0');
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"\u00e9x", -1, nullptr, 0, nullptr, nullptr), 4);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "", -1, nullptr, 0), 1);
}

TEST(CodePageConversion, BufferExactlyLargeEnoughAndOneShort) {
  const char* text = "\xF0\x9F\x98\x80!";  // three units
  wchar_t wide[3];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 5, wide, 2), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 5, wide, 3), 3);

  char bytes[5];
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, 3, bytes, 4, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, 3, bytes, 5, nullptr, nullptr), 5);
  EXPECT_EQ(std::string(bytes, 5), text);
}

TEST(CodePageConversion, RejectsBadParametersAndFlags) {
  wchar_t wide[4];
  char bytes[4];
  BOOL used = FALSE;
  const struct {
    const char* name;
    int result;
    DWORD error;
  } cases[] = {
      {"zero input length", MultiByteToWideChar(CP_UTF8, 0, "a", 0, wide, 4),
       ERROR_INVALID_PARAMETER},
      {"null input", MultiByteToWideChar(CP_UTF8, 0, nullptr, 1, wide, 4), ERROR_INVALID_PARAMETER},
      {"null output with a size", MultiByteToWideChar(CP_UTF8, 0, "a", 1, nullptr, 4),
       ERROR_INVALID_PARAMETER},
      {"precomposed flag on UTF-8", MultiByteToWideChar(CP_UTF8, 1, "a", 1, wide, 4),
       ERROR_INVALID_FLAGS},
      {"default char on UTF-8", WideCharToMultiByte(CP_UTF8, 0, L"a", 1, bytes, 4, "?", nullptr),
       ERROR_INVALID_PARAMETER},
      {"used-default flag on UTF-8",
       WideCharToMultiByte(CP_UTF8, 0, L"a", 1, bytes, 4, nullptr, &used), ERROR_INVALID_PARAMETER},
      {"no best fit flag on UTF-8",
       WideCharToMultiByte(CP_UTF8, 0x400, L"a", 1, bytes, 4, nullptr, nullptr),
       ERROR_INVALID_FLAGS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.result, 0);
  }
  // The last error belongs to the last call only; check each on its own.
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a", 0, wide, 4), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 1, "a", 1, wide, 4), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"a", 1, bytes, 4, "?", nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(LastError, IsPerThread) {
  SetLastError(5);
  DWORD other = 1;
  std::thread([&other] { other = GetLastError(); }).join();
  EXPECT_EQ(other, 0u);
  EXPECT_EQ(GetLastError(), 5u);
}

}  // namespace
