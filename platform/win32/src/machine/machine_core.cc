#include "win32sim/machine_core.h"

#include "winsim.h"

#include <mutex>
#include <sstream>

namespace winsim {
namespace {

struct Failure {
  HRESULT hr;
  int remaining;  // calls to let through before failing; -1: fail every call
};

struct CoreState {
  std::mutex mutex;
  std::map<std::string, int> live;
  std::map<std::string, Failure> failures;
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

std::string DescribeLiveObjects() {
  const auto live = LiveObjects();
  if (live.empty()) return "nothing alive";
  std::ostringstream out;
  const char* sep = "";
  for (const auto& [key, count] : live) {
    out << sep << key << " x" << count;
    sep = ", ";
  }
  return out.str();
}

void FailCall(const std::string& call, HRESULT hr, int nth) {
  CoreState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.failures[call] = Failure{hr, nth < 1 ? 0 : nth - 1};
}

void FailAlways(const std::string& call, HRESULT hr) {
  CoreState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.failures[call] = Failure{hr, -1};
}

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
  Failure& f = it->second;
  if (f.remaining < 0) return f.hr;
  if (f.remaining > 0) {
    --f.remaining;
    return S_OK;
  }
  const HRESULT hr = f.hr;
  s.failures.erase(it);
  return hr;
}

int CallCount(const std::string& call) {
  CoreState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.calls.find(call);
  return it == s.calls.end() ? 0 : it->second;
}

void ResetCallCounts() {
  CoreState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.calls.clear();
}

}  // namespace winsim
