// The machine file's "desktop" key: whether the secure desktop (a UAC prompt,
// the lock screen) is showing. While it is, the user's desktop cannot be read:
// BitBlt from a screen DC fails with ERROR_ACCESS_DENIED and the cursor is
// reported hidden, as they are for a process on the user's desktop.
#include <atomic>

#include "machine/machine_areas.h"
#include "machine/machine_screen.h"

namespace winsim {
namespace {

std::atomic<bool> g_secure_desktop{false};

}  // namespace

bool SecureDesktopShowing() { return g_secure_desktop.load(); }

void ShowSecureDesktop(bool showing) { g_secure_desktop = showing; }

void ResetDesktopArea() { g_secure_desktop = false; }

// "desktop": {"secure": true}
bool ApplyDesktopKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_object()) {
    *error = "must be an object";
    return false;
  }
  bool secure = SecureDesktopShowing();
  if (!OnlyKnownKeys(value, {"secure"}, error) || !ReadBool(value, "secure", &secure, error)) {
    return false;
  }
  ShowSecureDesktop(secure);
  return true;
}

}  // namespace winsim
