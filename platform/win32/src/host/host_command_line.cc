// The process command line: GetCommandLineW, CommandLineToArgvW with the
// Windows splitting rules, and the local-heap block it returns.
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "host/host_state.h"
#include "win32sim/host.h"
#include "win32sim/machine_core.h"

namespace {

constexpr wchar_t kModulePath[] = L"morl_desktop.exe";

std::set<void*>& LocalBlocks() {
  static auto* blocks = new std::set<void*>;
  return *blocks;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The program name ends at the next quote when it starts with one, otherwise
// at the next blank; it knows no escapes.
const wchar_t* SplitProgramName(const wchar_t* s, std::wstring* name) {
  if (*s == L'"') {
    ++s;
    while (*s && *s != L'"') *name += *s++;
    if (*s) ++s;
  } else {
    while (*s && !IsBlank(*s)) *name += *s++;
  }
  return s;
}

// One later word. 2n backslashes before a quote give n backslashes and the
// quote toggles quoting; 2n+1 give n backslashes and a literal quote. Inside
// quotes, runs of quotes count in threes: every third is literal.
const wchar_t* SplitWord(const wchar_t* s, std::wstring* word) {
  int backslashes = 0;
  int quotes = 0;  // 1 while inside a quoted part
  while (*s && !(IsBlank(*s) && quotes == 0)) {
    if (*s == L'\\') {
      *word += *s++;
      ++backslashes;
    } else if (*s == L'"') {
      if (backslashes % 2 == 0) {
        word->resize(word->size() - static_cast<size_t>(backslashes / 2));
        ++quotes;
      } else {
        word->resize(word->size() - static_cast<size_t>(backslashes / 2) - 1);
        *word += L'"';
      }
      ++s;
      backslashes = 0;
      while (*s == L'"') {
        if (++quotes == 3) {
          *word += L'"';
          quotes = 0;
        }
        ++s;
      }
      if (quotes == 2) quotes = 0;
    } else {
      *word += *s++;
      backslashes = 0;
    }
  }
  return s;
}

std::vector<std::wstring> Split(const wchar_t* s) {
  if (*s == 0) return {kModulePath};
  std::vector<std::wstring> words(1);
  s = SplitProgramName(s, &words[0]);
  while (IsBlank(*s)) ++s;
  while (*s) {
    words.emplace_back();
    s = SplitWord(s, &words.back());
    while (IsBlank(*s)) ++s;
  }
  return words;
}

// Encodes one code point as UTF-16 units into `out`.
void AppendUtf16(char32_t cp, std::wstring* out) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    *out += static_cast<wchar_t>(0xD800 + (cp >> 10));
    *out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
  } else {
    *out += static_cast<wchar_t>(cp);
  }
}

std::wstring Utf8ToUtf16(const std::string& text) {
  std::wstring out;
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int extra = lead < 0x80           ? 0
                      : (lead >> 5) == 0x06 ? 1
                      : (lead >> 4) == 0x0E ? 2
                      : (lead >> 3) == 0x1E ? 3
                                            : -1;
    char32_t cp = extra <= 0 ? lead : lead & (0x3Fu >> extra);
    bool ok = extra >= 0 && i + static_cast<size_t>(extra) < text.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      if ((c & 0xC0) != 0x80) {
        ok = false;
      } else {
        cp = (cp << 6) | (c & 0x3F);
      }
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (ok && (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      out += L'\xFFFD';
      ++i;
      continue;
    }
    AppendUtf16(cp, &out);
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

std::wstring QuoteWord(const std::wstring& word) {
  if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) return word;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

}  // namespace

LPWSTR GetCommandLineW() {
  auto& s = winsim::host::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.command_line.data();
}

LPWSTR* CommandLineToArgvW(LPCWSTR cmd_line, int* num_args) {
  if (winsim::FailedByInjection("CommandLineToArgvW") || cmd_line == nullptr ||
      num_args == nullptr) {
    return nullptr;
  }
  const std::vector<std::wstring> words = Split(cmd_line);
  // One block: the pointer array (with a terminating null) and then the
  // strings, so that a single LocalFree releases everything.
  size_t bytes = (words.size() + 1) * sizeof(LPWSTR);
  for (const auto& w : words) bytes += (w.size() + 1) * sizeof(wchar_t);
  void* block = std::calloc(1, bytes);
  if (block == nullptr) return nullptr;
  auto** argv = static_cast<LPWSTR*>(block);
  auto* text = reinterpret_cast<wchar_t*>(argv + words.size() + 1);
  for (size_t i = 0; i < words.size(); ++i) {
    argv[i] = text;
    text = std::copy(words[i].begin(), words[i].end(), text);
    *text++ = 0;
  }
  {
    std::lock_guard<std::mutex> lock(winsim::host::State().mutex);
    LocalBlocks().insert(block);
  }
  winsim::AddLive(winsim::Kind::kOther, "LocalAlloc");
  *num_args = static_cast<int>(words.size());
  return argv;
}

HLOCAL LocalFree(HLOCAL mem) {
  if (mem == nullptr) return nullptr;
  {
    std::lock_guard<std::mutex> lock(winsim::host::State().mutex);
    if (LocalBlocks().erase(mem) == 0) return mem;  // not ours: fails, as on Windows
  }
  std::free(mem);
  winsim::RemoveLive(winsim::Kind::kOther, "LocalAlloc");
  return nullptr;
}

namespace winsim {

void SetCommandLine(const std::wstring& command_line) {
  std::lock_guard<std::mutex> lock(host::State().mutex);
  host::State().command_line = command_line;
}

std::wstring QuoteCommandLine(const std::vector<std::string>& words) {
  std::wstring line;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::wstring word = Utf8ToUtf16(words[i]);
    if (i == 0) {
      // The program name cannot escape quotes; quote it only for blanks.
      const bool quote = word.empty() || word.find_first_of(L" \t") != std::wstring::npos;
      line += quote ? L"\"" + word + L"\"" : word;
    } else {
      line += L" " + QuoteWord(word);
    }
  }
  return line;
}

}  // namespace winsim
