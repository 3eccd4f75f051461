// UTF-8/UTF-16 conversion through MultiByteToWideChar and
// WideCharToMultiByte, which every text crossing between the user interface
// and the native code goes through: single calls at the edges of the
// encoding, every maximal ill-formed subpart replaced by one U+FFFD or
// refused with the strict flag, terminated input, buffer sizes, and the
// arguments and flags refused for CP_UTF8.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "wine_differences.h"

namespace {

// ---- UTF-8 to UTF-16 -----------------------------------------------------

struct ToWide {
  const char* name;
  std::string input;
  int input_length;  // as passed; -1: NUL-terminated
  DWORD flags;
  std::u16string expected;  // when `error` is 0
  DWORD error;              // expected last error when the call fails
};

class Utf8ToUtf16 : public ::testing::TestWithParam<ToWide> {};

TEST_P(Utf8ToUtf16, ConvertsOrFailsAsDocumented) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const ToWide& c = GetParam();
  std::vector<wchar_t> out(64, L'#');
  SetLastError(0);
  const int written = MultiByteToWideChar(CP_UTF8, c.flags, c.input.data(), c.input_length,
                                          out.data(), static_cast<int>(out.size()));
  if (c.error != 0) {
    EXPECT_EQ(written, 0);
    EXPECT_EQ(GetLastError(), c.error);
    return;
  }
  ASSERT_EQ(written, static_cast<int>(c.expected.size()));
  for (int i = 0; i < written; ++i) {
    EXPECT_EQ(static_cast<char16_t>(out[i]), c.expected[i]) << "unit " << i;
  }
  // A size query answers the same count and writes nothing.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, c.flags, c.input.data(), c.input_length, nullptr, 0),
            written);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Utf8ToUtf16,
    ::testing::Values(ToWide{"Ascii", "abc", 3, 0, u"abc", 0},
                      ToWide{"TwoAndThreeByte", "\xC3\xA9\xE2\x82\xAC", 5, 0, u"\u00E9\u20AC", 0},
                      ToWide{"FourByteBecomesAPair", "\xF0\x9F\x98\x80", 4, 0, u"\xD83D\xDE00", 0},
                      ToWide{"TerminatedCountsTheNul", std::string("a\0", 2), -1, 0,
                             std::u16string(u"a\0", 2), 0},
                      ToWide{"EmptyTerminatedIsJustTheNul", std::string("\0", 1), -1, 0,
                             std::u16string(u"\0", 1), 0},
                      ToWide{"TerminatedAfterATwoByteSequence", "\xC3\xA9x", -1, 0,
                             std::u16string(u"\u00E9x\0", 3), 0},
                      ToWide{"ZeroLengthFails", "abc", 0, 0, u"", ERROR_INVALID_PARAMETER},
                      ToWide{"InvalidByteReplaced",
                             "a\xFF"
                             "b",
                             3, 0,
                             u"a\uFFFD"
                             "b",
                             0},
                      ToWide{"InvalidByteStrict",
                             "a\xFF"
                             "b",
                             3, MB_ERR_INVALID_CHARS, u"", ERROR_NO_UNICODE_TRANSLATION},
                      ToWide{"OverlongStrict", "\xC0\xAF", 2, MB_ERR_INVALID_CHARS, u"",
                             ERROR_NO_UNICODE_TRANSLATION},
                      ToWide{"EncodedSurrogateStrict", "\xED\xA0\x80", 3, MB_ERR_INVALID_CHARS, u"",
                             ERROR_NO_UNICODE_TRANSLATION},
                      ToWide{"TruncatedAtEndStrict", "ab\xE2\x82", 4, MB_ERR_INVALID_CHARS, u"",
                             ERROR_NO_UNICODE_TRANSLATION}),
    [](const auto& row) { return std::string(row.param.name); });

// Ill-formed input without the strict flag is replaced, never dropped or
// passed through: the text around it survives.
TEST(Utf8ToUtf16Lenient, TruncatedSequenceBecomesReplacement) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const char input[] = "ab\xE2\x82";
  wchar_t out[16] = {};
  const int written = MultiByteToWideChar(CP_UTF8, 0, input, 4, out, 16);
  ASSERT_GE(written, 3);
  EXPECT_EQ(out[0], L'a');
  EXPECT_EQ(out[1], L'b');
  for (int i = 2; i < written; ++i) EXPECT_EQ(static_cast<unsigned>(out[i]), 0xFFFDu);
}

TEST(Utf8ToUtf16Lenient, TooSmallABufferFails) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  wchar_t out[2] = {};
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, out, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// Both ways, a buffer one unit short fails whole and one exactly large
// enough takes every unit.
TEST(Utf8Buffers, ExactlyLargeEnoughAndOneShort) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const char* text = "\xF0\x9F\x98\x80!";  // three units
  wchar_t wide[3];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 5, wide, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 5, wide, 3), 3);

  char bytes[5];
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, 3, bytes, 4, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, 3, bytes, 5, nullptr, nullptr), 5);
  EXPECT_EQ(std::string(bytes, 5), text);
}

// ---- UTF-16 to UTF-8 -----------------------------------------------------

struct ToNarrow {
  const char* name;
  std::u16string input;
  int input_length;
  DWORD flags;
  std::string expected;
  DWORD error;
};

class Utf16ToUtf8 : public ::testing::TestWithParam<ToNarrow> {};

TEST_P(Utf16ToUtf8, ConvertsOrFailsAsDocumented) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const ToNarrow& c = GetParam();
  std::wstring input(c.input.begin(), c.input.end());
  char out[64];
  SetLastError(0);
  const int written = WideCharToMultiByte(CP_UTF8, c.flags, input.data(), c.input_length, out,
                                          sizeof(out), nullptr, nullptr);
  if (c.error != 0) {
    EXPECT_EQ(written, 0);
    EXPECT_EQ(GetLastError(), c.error);
    return;
  }
  EXPECT_EQ(std::string(out, written > 0 ? written : 0), c.expected);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, c.flags, input.data(), c.input_length, nullptr, 0, nullptr,
                                nullptr),
            written);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Utf16ToUtf8,
    ::testing::Values(ToNarrow{"Ascii", u"abc", 3, 0, "abc", 0},
                      ToNarrow{"PairBecomesFourBytes", u"\xD83D\xDE00", 2, 0, "\xF0\x9F\x98\x80",
                               0},
                      ToNarrow{"TerminatedCountsTheNul", std::u16string(u"\u00E9\0", 2), -1, 0,
                               std::string("\xC3\xA9\0", 3), 0},
                      ToNarrow{"TerminatedAfterATwoByteUnit", u"\u00E9x", -1, 0,
                               std::string("\xC3\xA9x\0", 4), 0},
                      ToNarrow{"LoneHighSurrogateReplaced",
                               u"a\xD800"
                               "b",
                               3, 0,
                               "a\xEF\xBF\xBD"
                               "b",
                               0},
                      ToNarrow{"LoneLowSurrogateReplaced", u"\xDC00", 1, 0, "\xEF\xBF\xBD", 0},
                      ToNarrow{"LoneHighSurrogateStrict",
                               u"a\xD800"
                               "b",
                               3, WC_ERR_INVALID_CHARS, "", ERROR_NO_UNICODE_TRANSLATION},
                      ToNarrow{"HighSurrogateAtEndStrict", u"a\xD83D", 2, WC_ERR_INVALID_CHARS, "",
                               ERROR_NO_UNICODE_TRANSLATION},
                      ToNarrow{"ZeroLengthFails", u"abc", 0, 0, "", ERROR_INVALID_PARAMETER}),
    [](const auto& row) { return std::string(row.param.name); });

// For CP_UTF8 the default-character arguments must be NULL.
TEST(Utf16ToUtf8Arguments, DefaultCharacterIsRefusedForUtf8) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  char out[8];
  BOOL used = FALSE;
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"a", 1, out, 8, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// ---- Ill-formed input -----------------------------------------------------

constexpr wchar_t kBad = 0xFFFD;

struct Decode {
  const char* name;
  std::string utf8;
  std::vector<wchar_t> utf16;  // with no flags; ill-formed input uses kBad
  bool well_formed;
};

class Utf8Decoding : public ::testing::TestWithParam<Decode> {};

// Without flags: the size query, then the units (each maximal ill-formed
// subpart one U+FFFD). With MB_ERR_INVALID_CHARS: the same count for
// well-formed input, a refusal for the rest.
TEST_P(Utf8Decoding, ReplacesEachIllFormedSubpartOrRefusesStrictly) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const Decode& c = GetParam();
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
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Utf8Decoding,
    ::testing::Values(
        Decode{"Ascii", "Az", {L'A', L'z'}, true}, Decode{"TwoBytes", "\xC3\xA9", {0xE9}, true},
        Decode{"ThreeBytes", "\xE2\x82\xAC", {0x20AC}, true},
        Decode{"NonBmpBecomesASurrogatePair", "\xF0\x9F\x98\x80", {0xD83D, 0xDE00}, true},
        Decode{"LargestCodePoint", "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}, true},
        Decode{"EmbeddedNulIsData", std::string("a\0b", 3), {L'a', 0, L'b'}, true},
        Decode{"LoneContinuationByte", "\x80", {kBad}, false},
        Decode{"ByteNeverUsed", "\xFF", {kBad}, false},
        Decode{"OverlongNul", "\xC0\x80", {kBad, kBad}, false},
        Decode{"TruncatedAtTheEnd", "\xE2\x82", {kBad}, false},
        Decode{"TruncatedBeforeAscii",
               "\xE2\x82"
               "A",
               {kBad, L'A'},
               false},
        Decode{"TruncatedFourBytesThenTwoBytes", "\xF0\x9F\x98\xC3\xA9", {kBad, 0xE9}, false}),
    [](const auto& row) { return std::string(row.param.name); });

struct Encode {
  const char* name;
  std::vector<wchar_t> utf16;
  std::string utf8;  // with no flags
  bool well_formed;
};

class Utf16Encoding : public ::testing::TestWithParam<Encode> {};

// Without flags: the size query, then the bytes (an unpaired surrogate one
// U+FFFD). With WC_ERR_INVALID_CHARS: the same count for well-formed input,
// a refusal for the rest.
TEST_P(Utf16Encoding, ReplacesUnpairedSurrogatesOrRefusesStrictly) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const Encode& c = GetParam();
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
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Utf16Encoding,
    ::testing::Values(Encode{"Ascii", {L'h', L'i'}, "hi", true},
                      Encode{"TwoAndThreeBytes", {0xE9, 0x20AC}, "\xC3\xA9\xE2\x82\xAC", true},
                      Encode{
                          "SurrogatePairToFourBytes", {0xD83D, 0xDE00}, "\xF0\x9F\x98\x80", true},
                      Encode{"HighSurrogateAtTheEnd", {L'a', 0xD83D}, "a\xEF\xBF\xBD", false},
                      Encode{"HighSurrogateBeforeALetter",
                             {0xD83D, L'b'},
                             "\xEF\xBF\xBD"
                             "b",
                             false},
                      Encode{"LowSurrogateAlone",
                             {0xDE00, L'c'},
                             "\xEF\xBF\xBD"
                             "c",
                             false},
                      Encode{"TwoHighSurrogatesThenLow",
                             {0xD83D, 0xD83D, 0xDE00},
                             "\xEF\xBF\xBD\xF0\x9F\x98\x80",
                             false}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- Arguments and flags ----------------------------------------------------

// Flags for other code pages (the simulated machine's headers have none).
constexpr DWORD kPrecomposed = 0x1;       // MB_PRECOMPOSED
constexpr DWORD kNoBestFitChars = 0x400;  // WC_NO_BEST_FIT_CHARS

struct Refusal {
  const char* name;
  int (*call)();
  DWORD error;
};

class Utf8Arguments : public ::testing::TestWithParam<Refusal> {};

// For CP_UTF8 the only flags are the strict ones and the default-character
// arguments must be NULL; input and output must be there when sized.
TEST_P(Utf8Arguments, AreRefusedWithTheirError) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const Refusal& c = GetParam();
  SetLastError(0);
  EXPECT_EQ(c.call(), 0);
  EXPECT_EQ(GetLastError(), c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Utf8Arguments,
    ::testing::Values(Refusal{"NullInput",
                              [] {
                                wchar_t wide[4];
                                return MultiByteToWideChar(CP_UTF8, 0, nullptr, 1, wide, 4);
                              },
                              ERROR_INVALID_PARAMETER},
                      Refusal{"NullOutputWithASize",
                              [] { return MultiByteToWideChar(CP_UTF8, 0, "a", 1, nullptr, 4); },
                              ERROR_INVALID_PARAMETER},
                      Refusal{"PrecomposedFlag",
                              [] {
                                wchar_t wide[4];
                                return MultiByteToWideChar(CP_UTF8, kPrecomposed, "a", 1, wide, 4);
                              },
                              ERROR_INVALID_FLAGS},
                      Refusal{"DefaultCharacter",
                              [] {
                                char bytes[4];
                                return WideCharToMultiByte(CP_UTF8, 0, L"a", 1, bytes, 4, "?",
                                                           nullptr);
                              },
                              ERROR_INVALID_PARAMETER},
                      Refusal{"NoBestFitFlag",
                              [] {
                                char bytes[4];
                                return WideCharToMultiByte(CP_UTF8, kNoBestFitChars, L"a", 1, bytes,
                                                           4, nullptr, nullptr);
                              },
                              ERROR_INVALID_FLAGS}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
