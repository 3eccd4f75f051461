#include "win32sim/machine_core.h"

#include "windows.h"
#include "winsim.h"

#include <mutex>
#include <sstream>
#include <vector>

namespace winsim {
namespace {

struct Failure {
  HRESULT hr;
  int first;     // the first failing call, counted from when the entry was set
  int last;      // the last failing call, or kNoLastCall
  int seen = 0;  // calls made since the entry was set
};

struct CoreState {
  std::mutex mutex;
  std::map<std::string, int> live;
  std::map<std::string, std::vector<Failure>> failures;
  std::map<std::string, int> calls;
};

CoreState& State() {
  static CoreState* state = new CoreState;  // outlives every static object that is tracked
  return *state;
}

std::string Key(Kind kind, const char* name) { return std::string(KindName(kind)) + ":" + name; }

}  // namespace

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::kCom:
      return "com";
    case Kind::kGdi:
      return "gdi";
    case Kind::kWindow:
      return "window";
    case Kind::kWindowClass:
      return "class";
    case Kind::kApartment:
      return "apartment";
    case Kind::kTaskMemory:
      return "taskmem";
    case Kind::kLibrary:
      return "library";
    case Kind::kOther:
      return "other";
  }
  return "?";
}

void AddLive(Kind kind, const char* name) {
  CoreState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  // A count that went negative (a double release) can climb back to zero.
  auto it = s.live.find(Key(kind, name));
  if (it == s.live.end()) {
    s.live[Key(kind, name)] = 1;
  } else if (++it->second == 0) {
    s.live.erase(it);
  }
}

void RemoveLive(Kind kind, const char* name) {
  CoreState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.live.find(Key(kind, name));
  if (it == s.live.end()) {
    s.live[Key(kind, name)] = -1;  // a double release shows up as a negative count
    return;
  }
  if (--it->second == 0) s.live.erase(it);
}

Tracked::Tracked(Kind kind, const char* name) : kind_(kind), name_(name) { AddLive(kind, name); }
Tracked::~Tracked() { RemoveLive(kind_, name_); }

std::map<std::string, int> LiveObjects() {
  CoreState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.live;
}

std::string DescribeObjects(const std::map<std::string, int>& objects) {
  if (objects.empty()) return "nothing alive";
  std::ostringstream out;
  const char* sep = "";
  for (const auto& [key, count] : objects) {
    out << sep << key << " x" << count;
    sep = ", ";
  }
  return out.str();
}

std::string DescribeLiveObjects() { return DescribeObjects(LiveObjects()); }

void FailCalls(const std::string& call, HRESULT hr, int first, int last) {
  CoreState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.failures[call].push_back(Failure{hr, first < 1 ? 1 : first, last});
}

void FailCall(const std::string& call, HRESULT hr, int nth) {
  FailCalls(call, hr, nth < 1 ? 1 : nth, nth < 1 ? 1 : nth);
}

void FailAlways(const std::string& call, HRESULT hr) { FailCalls(call, hr, 1, kNoLastCall); }

void ClearFailures() {
  CoreState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.failures.clear();
}

HRESULT InjectedFailure(const char* call) {
  // The machine file's "fail" entries must be in place before the first
  // failable call, whichever it is.
  LoadMachineFromEnvironment();
  CoreState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  ++s.calls[call];
  auto it = s.failures.find(call);
  if (it == s.failures.end()) return S_OK;
  HRESULT hr = S_OK;
  std::vector<Failure>& entries = it->second;
  for (auto entry = entries.begin(); entry != entries.end();) {
    ++entry->seen;
    const bool covers =
        entry->seen >= entry->first && (entry->last == kNoLastCall || entry->seen <= entry->last);
    if (covers && SUCCEEDED(hr)) hr = entry->hr;
    const bool spent = entry->last != kNoLastCall && entry->seen >= entry->last;
    entry = spent ? entries.erase(entry) : entry + 1;
  }
  if (entries.empty()) s.failures.erase(it);
  return hr;
}

DWORD LastErrorFromHresult(HRESULT hr) {
  const auto bits = static_cast<DWORD>(hr);
  constexpr DWORD kFacilityWin32Failure = 0x80070000u;
  return (bits & 0xFFFF0000u) == kFacilityWin32Failure ? (bits & 0xFFFFu) : bits;
}

bool FailedByInjection(const char* call) {
  const HRESULT hr = InjectedFailure(call);
  if (SUCCEEDED(hr)) return false;
  SetLastError(LastErrorFromHresult(hr));
  return true;
}

int CallCount(const std::string& call) {
  CoreState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.calls.find(call);
  return it == s.calls.end() ? 0 : it->second;
}

std::map<std::string, int> CallCounts() {
  CoreState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.calls;
}

void ResetCallCounts() {
  CoreState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.calls.clear();
}

}  // namespace winsim
