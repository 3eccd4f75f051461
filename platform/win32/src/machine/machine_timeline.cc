// The machine file's "timeline": changes to the machine while it runs.
//
//   "timeline": [{"at_ms": 2000, "patch": {"displays": [...]}},
//                {"at_ms": 3000, "patch": {"render": [...], "desktop": {"secure": true}}},
//                {"at_ms": 9000, "end_session": true}]
//
// `at_ms` is machine time in milliseconds from when the file was loaded (the
// process's start). A machine thread applies each patch at its time with the
// same meaning as the key has at the top level, then does what Windows does
// after such a change. "end_session" logs the user off: WM_QUERYENDSESSION and
// then WM_ENDSESSION (TRUE, ENDSESSION_LOGOFF) are sent to every top-level
// window, and once they have returned the process ends at once, as Windows
// ends it: no WM_DESTROY, no destructors, no exit handlers.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "machine/machine_areas.h"
#include "machine/machine_clock.h"
#include "machine/machine_screen.h"
#include "user/user_state.h"
#include "winsim.h"

namespace winsim {
namespace {

constexpr const char* kPatchKeys[] = {"screen",     "displays", "cursor", "render", "capture",
                                      "microphone", "desktop",  "disk",   "fail"};
constexpr std::int64_t kMaxAtMs = 7LL * 24 * 3600 * 1000;  // a week of machine time
// How long the windows get to answer each end-of-session message before the
// session ends regardless, as Windows ends a program that blocks log-off.
constexpr auto kEndSessionAllowance = std::chrono::seconds(20);

struct Entry {
  std::int64_t at_100ns = 0;
  nlohmann::json patch;
  bool end_session = false;
};

// One run of a timeline. Its thread owns a reference; ResetMachine stops it.
struct Run {
  std::vector<Entry> entries;
  std::int64_t origin_100ns = 0;
  std::atomic<bool> stopped{false};
};

struct TimelineState {
  std::mutex mutex;
  std::shared_ptr<Run> current;
};

TimelineState& State() {
  static TimelineState* state = new TimelineState;  // its thread may outlive statics
  return *state;
}

bool ReadEntry(const nlohmann::json& value, std::size_t index, Entry* entry, std::string* error) {
  const std::string where = "entry " + std::to_string(index) + ": ";
  std::int64_t at_ms = -1;
  bool end_session = false;
  if (!value.is_object() || !OnlyKnownKeys(value, {"at_ms", "patch", "end_session"}, error) ||
      !ReadInt64(value, "at_ms", &at_ms, error) ||
      !ReadBool(value, "end_session", &end_session, error)) {
    *error = where + (value.is_object() ? *error : "must be an object");
    return false;
  }
  if (at_ms < 0 || at_ms > kMaxAtMs) {
    *error = where + "\"at_ms\" must be 0 to 604800000";
    return false;
  }
  const bool has_patch = value.contains("patch");
  if (has_patch == end_session) {
    *error = where + "needs either \"patch\" or \"end_session\": true";
    return false;
  }
  if (has_patch) {
    const nlohmann::json& patch = value["patch"];
    if (!patch.is_object() || patch.empty()) {
      *error = where + "\"patch\" must be an object of machine-file keys";
      return false;
    }
    for (const auto& [key, ignored] : patch.items()) {
      if (!IsPatchKey(key)) {
        *error = where + "\"" + key + "\" cannot change while the machine runs";
        return false;
      }
    }
    entry->patch = patch;
  }
  entry->at_100ns = at_ms * 10'000;
  entry->end_session = end_session;
  return true;
}

// Sends `message` to every top-level window and waits for each answer, up
// to the allowance; false when a window did not answer in time.
bool SendToTopLevelWindows(UINT message, WPARAM wparam, LPARAM lparam) {
  bool answered = true;
  for (HWND hwnd : user::TopLevelWindows()) {
    answered &= user::SendAcrossThreadsWithin(hwnd, message, wparam, lparam, kEndSessionAllowance);
  }
  return answered;
}

[[noreturn]] void EndSession() {
  if (!SendToTopLevelWindows(WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) ||
      !SendToTopLevelWindows(WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF)) {
    std::fprintf(stderr, "machine: a window did not answer the end of the session in time\n");
    std::fflush(stderr);
  }
  std::_Exit(0);
}

void Play(const std::shared_ptr<Run>& run) {
  // Everything the machine file sets is in place before the first change.
  LoadMachineFromEnvironment();
  for (const Entry& entry : run->entries) {
    while (!run->stopped && MachineNow100ns() - run->origin_100ns < entry.at_100ns) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (run->stopped) return;
    if (entry.end_session) EndSession();
    std::string error;
    if (!ApplyMachinePatch(entry.patch, &error)) {
      std::fprintf(stderr, "machine file timeline at %lld ms: %s\n",
                   static_cast<long long>(entry.at_100ns / 10'000), error.c_str());
      std::fflush(stderr);
    }
  }
}

}  // namespace

bool IsPatchKey(const std::string& key) {
  for (const char* candidate : kPatchKeys) {
    if (key == candidate) return true;
  }
  return false;
}

void AnnounceDisplayChange() {
  // wParam: the bits per pixel; lParam: the primary display's new size.
  const LPARAM size = static_cast<LPARAM>((static_cast<DWORD>(ScreenMetric(1) & 0xFFFF) << 16) |
                                          (ScreenMetric(0) & 0xFFFF));
  for (HWND hwnd : user::TopLevelWindows()) {
    user::SendAcrossThreads(hwnd, WM_DISPLAYCHANGE, 32, size, false);
  }
}

void ResetTimelineArea() {
  TimelineState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.current) state.current->stopped = true;
  state.current.reset();
}

bool ApplyTimelineKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_array()) {
    *error = "must be a list of {\"at_ms\", \"patch\" or \"end_session\"} entries";
    return false;
  }
  auto run = std::make_shared<Run>();
  for (std::size_t i = 0; i < value.size(); ++i) {
    Entry entry;
    if (!ReadEntry(value[i], i, &entry, error)) return false;
    if (!run->entries.empty() && entry.at_100ns < run->entries.back().at_100ns) {
      *error = "entry " + std::to_string(i) + ": entries must be in time order";
      return false;
    }
    run->entries.push_back(std::move(entry));
  }
  run->origin_100ns = MachineNow100ns();
  TimelineState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.current) state.current->stopped = true;
  state.current = run;
  if (!run->entries.empty()) std::thread(Play, run).detach();
  return true;
}

}  // namespace winsim
