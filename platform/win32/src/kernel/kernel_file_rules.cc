#include "kernel/kernel_file_rules.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "machine/machine_areas.h"
#include "machine/machine_clock.h"

namespace winsim {
namespace {

constexpr std::size_t kMaxPath = 260;
constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr DWORD kErrorInvalidName = 123;
constexpr DWORD kRead = 0x80000000u;   // GENERIC_READ
constexpr DWORD kWrite = 0x40000000u;  // GENERIC_WRITE
constexpr DWORD kDelete = 0x00010000u;
constexpr DWORD kShareRead = 0x1, kShareWrite = 0x2, kShareDelete = 0x4;

struct Opened {
  std::uint64_t id;
  DWORD access;
  DWORD share;
};

struct Rules {
  std::mutex mutex;
  std::map<std::string, std::vector<Opened>> opens;
  std::map<std::string, std::int64_t> held_until;           // 100-ns machine time
  std::vector<std::pair<std::string, std::int64_t>> holds;  // suffix, ms
  std::uint64_t next_id = 1;
};

Rules& State() {
  static Rules* rules = new Rules;
  return *rules;
}

bool Held(Rules& r, const std::string& real) {
  auto it = r.held_until.find(real);
  if (it == r.held_until.end()) return false;
  if (MachineNow100ns() < it->second) return true;
  r.held_until.erase(it);
  return false;
}

// What each kind of access needs the other opens to share.
bool Allows(DWORD share, DWORD access) {
  return ((access & kRead) == 0 || (share & kShareRead) != 0) &&
         ((access & kWrite) == 0 || (share & kShareWrite) != 0) &&
         ((access & kDelete) == 0 || (share & kShareDelete) != 0);
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  if (suffix.size() > text.size()) return false;
  return std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  });
}

bool InvalidInName(wchar_t c) {
  return (c >= 1 && c <= 31) || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' ||
         c == L'*';
}

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; }

// Whether `base` is `device` in any case; a '#' in `device` stands for a
// port number, one digit or one of Latin-1's superscript digits 1-3.
bool IsDevice(const std::wstring& base, const wchar_t* device) {
  std::size_t i = 0;
  for (; device[i] != L'\0'; ++i) {
    if (i == base.size()) return false;
    const bool port =
        device[i] == L'#' && ((base[i] >= L'0' && base[i] <= L'9') || base[i] == L'\u00b9' ||
                              base[i] == L'\u00b2' || base[i] == L'\u00b3');
    if (!port && AsciiUpper(base[i]) != device[i]) return false;
  }
  return i == base.size();
}

}  // namespace

Device DeviceOf(const wchar_t* path) {
  if (path == nullptr) return Device::kNone;
  const std::wstring name = path;
  if (name.rfind(kLongPrefix, 0) == 0) return Device::kNone;
  std::size_t start = name.find_last_of(L"\\/");
  if (start != std::wstring::npos) {
    ++start;
  } else {
    start = name.size() >= 2 && name[1] == L':' ? 2 : 0;  // "C:NUL"
  }
  std::wstring base = name.substr(start, name.find(L'.', start) - start);
  while (!base.empty() && base.back() == L' ') base.pop_back();
  if (IsDevice(base, L"NUL")) return Device::kNull;
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"COM#", L"LPT#"}) {
    if (IsDevice(base, device)) return Device::kAbsent;
  }
  return Device::kNone;
}

DWORD CheckFileName(const wchar_t* path, std::string* real) {
  if (path == nullptr || *path == L'\0') return ERROR_PATH_NOT_FOUND;
  std::wstring name = path;
  const bool literal = name.rfind(kLongPrefix, 0) == 0;
  if (literal) {
    name.erase(0, 4);
  } else {
    if (name.size() >= kMaxPath) return ERROR_PATH_NOT_FOUND;
    for (std::size_t i = 0; i < name.size(); ++i) {
      const bool drive_colon = i == 1 && std::iswalpha(name[0]);
      if (InvalidInName(name[i]) || (name[i] == L':' && !drive_colon)) return kErrorInvalidName;
    }
    // Win32 drops the last component's trailing dots and spaces ("a.mp4. "
    // names "a.mp4"); a component of only dots stays as it is.
    const std::size_t start = name.find_last_of(L"\\/") + 1;
    std::size_t end = name.size();
    while (end > start && (name[end - 1] == L'.' || name[end - 1] == L' ')) --end;
    if (end > start) name.erase(end);
  }
  std::wstring slashed = name;
  std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, slashed.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return ERROR_PATH_NOT_FOUND;
  real->assign(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, slashed.c_str(), -1, &(*real)[0], bytes, nullptr, nullptr);
  real->pop_back();  // the NUL
  return ERROR_SUCCESS;
}

DWORD FileOpen::Open(const std::string& real, DWORD access, DWORD share) {
  Close();
  Rules& r = State();
  std::lock_guard<std::mutex> lock(r.mutex);
  // An open without read, write or delete access (attributes only) is not
  // checked against the others and does not restrict them.
  const DWORD data_access = access & (kRead | kWrite | kDelete);
  std::vector<Opened>& opens = r.opens[real];
  if (data_access != 0) {
    if (Held(r, real)) return ERROR_SHARING_VIOLATION;
    for (const Opened& other : opens) {
      if (!Allows(other.share, data_access) || !Allows(share, other.access)) {
        return ERROR_SHARING_VIOLATION;
      }
    }
  }
  id_ = r.next_id++;
  real_ = real;
  opens.push_back(
      Opened{id_, data_access, data_access != 0 ? share : kShareRead | kShareWrite | kShareDelete});
  return ERROR_SUCCESS;
}

void FileOpen::Close() {
  if (id_ == 0) return;
  Rules& r = State();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.opens.find(real_);
  if (it != r.opens.end()) {
    auto& opens = it->second;
    opens.erase(
        std::remove_if(opens.begin(), opens.end(), [this](const Opened& o) { return o.id == id_; }),
        opens.end());
    if (opens.empty()) {
      r.opens.erase(it);
      for (const auto& [suffix, ms] : r.holds) {
        if (EndsWithNoCase(real_, suffix)) r.held_until[real_] = MachineNow100ns() + ms * 10'000;
      }
    }
  }
  id_ = 0;
  real_.clear();
}

DWORD CheckDeletable(const std::string& real) {
  Rules& r = State();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (Held(r, real)) return ERROR_SHARING_VIOLATION;
  auto it = r.opens.find(real);
  if (it == r.opens.end()) return ERROR_SUCCESS;
  for (const Opened& open : it->second) {
    if ((open.share & kShareDelete) == 0) return ERROR_SHARING_VIOLATION;
  }
  return ERROR_SUCCESS;
}

bool FileInUse(const std::string& real) {
  Rules& r = State();
  std::lock_guard<std::mutex> lock(r.mutex);
  return Held(r, real) || r.opens.count(real) != 0;
}

void AddFileHold(const std::string& suffix, std::int64_t ms) {
  Rules& r = State();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.holds.emplace_back(suffix, ms);
}

// "file_holds": [{"suffix": ".mp4", "ms": 500}]: files ending so stay held
// that long after their last close.
bool ApplyFileHoldsKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_array()) {
    *error = "must be a list such as [{\"suffix\": \".mp4\", \"ms\": 500}]";
    return false;
  }
  for (const nlohmann::json& hold : value) {
    std::string suffix;
    std::int64_t ms = -1;
    if (!hold.is_object() || !OnlyKnownKeys(hold, {"suffix", "ms"}, error) ||
        !ReadString(hold, "suffix", &suffix, error) || !ReadInt64(hold, "ms", &ms, error)) {
      if (error->empty()) *error = "each hold is an object with \"suffix\" and \"ms\"";
      return false;
    }
    if (suffix.empty() || ms < 0 || ms > 600'000) {
      *error = "each hold needs a \"suffix\" and \"ms\" of 0 to 600000";
      return false;
    }
    AddFileHold(suffix, ms);
  }
  return true;
}

void ResetFileRules() {
  Rules& r = State();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.held_until.clear();
  r.holds.clear();
}

}  // namespace winsim
