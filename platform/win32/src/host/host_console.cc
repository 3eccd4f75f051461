// Consoles, the debugger flag and the C runtime's stream reopening. The
// calls are recorded and simulated; the test process's real standard
// streams are never reopened or redirected.
#include <cerrno>
#include <string>

#include "host/host_state.h"
#include "io.h"
#include "win32sim/host.h"
#include "win32sim/machine_core.h"

namespace {

void Record(const std::string& call) { winsim::host::State().console_calls.push_back(call); }

std::string StreamName(FILE* stream) {
  if (stream == stdout) return "stdout";
  if (stream == stderr) return "stderr";
  if (stream == stdin) return "stdin";
  return "stream";
}

}  // namespace

BOOL AttachConsole(DWORD process_id) {
  auto& s = winsim::host::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  const bool ok = !winsim::FailedByInjection("AttachConsole") &&
                  process_id == ATTACH_PARENT_PROCESS && s.parent_console && !s.has_console;
  if (ok) s.has_console = true;
  Record("AttachConsole(" + std::to_string(static_cast<LONG>(process_id)) +
         ")=" + (ok ? "1" : "0"));
  return ok ? TRUE : FALSE;
}

BOOL AllocConsole() {
  auto& s = winsim::host::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  const bool ok =
      !winsim::FailedByInjection("AllocConsole") && s.alloc_console_succeeds && !s.has_console;
  if (ok) s.has_console = true;
  Record(std::string("AllocConsole()=") + (ok ? "1" : "0"));
  return ok ? TRUE : FALSE;
}

BOOL IsDebuggerPresent() {
  auto& s = winsim::host::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  Record(std::string("IsDebuggerPresent()=") + (s.debugger ? "1" : "0"));
  return s.debugger ? TRUE : FALSE;
}

int _fileno(FILE* stream) { return stream ? fileno(stream) : -1; }

int _dup2(int source_fd, int target_fd) {
  auto& s = winsim::host::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  Record("_dup2(" + std::to_string(source_fd) + "," + std::to_string(target_fd) + ")=0");
  return 0;
}

errno_t freopen_s(FILE** result, const char* file_name, const char* mode, FILE* stream) {
  auto& s = winsim::host::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  const std::string name = file_name ? file_name : "";
  const bool ok = name == "CONOUT$" && s.has_console && s.console_reopen_succeeds;
  const errno_t rc = ok ? 0 : ENOENT;
  if (result != nullptr) *result = ok ? stream : nullptr;
  Record("freopen_s(" + name + "," + (mode ? mode : "") + "," + StreamName(stream) +
         ")=" + std::to_string(rc));
  return rc;
}

namespace winsim {

void SetDebuggerPresent(bool present) {
  std::lock_guard<std::mutex> lock(host::State().mutex);
  host::State().debugger = present;
}

void SetParentConsole(bool present) {
  std::lock_guard<std::mutex> lock(host::State().mutex);
  host::State().parent_console = present;
}

void SetAllocConsoleSucceeds(bool succeeds) {
  std::lock_guard<std::mutex> lock(host::State().mutex);
  host::State().alloc_console_succeeds = succeeds;
}

void SetConsoleReopenSucceeds(bool succeeds) {
  std::lock_guard<std::mutex> lock(host::State().mutex);
  host::State().console_reopen_succeeds = succeeds;
}

bool HasConsole() {
  std::lock_guard<std::mutex> lock(host::State().mutex);
  return host::State().has_console;
}

std::vector<std::string> ConsoleCalls() {
  std::lock_guard<std::mutex> lock(host::State().mutex);
  return host::State().console_calls;
}

}  // namespace winsim
