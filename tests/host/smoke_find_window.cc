// For the smoke run under Wine: from a second process in the same session,
// waits up to a minute for the application's top-level window (its class and
// its title) and reports whether it appeared.
#include <windows.h>

#include <cstdio>

int main() {
  for (int attempt = 0; attempt < 600; ++attempt) {
    if (FindWindowW(L"FLUTTER_RUNNER_WIN32_WINDOW", L"morl_desktop") != nullptr) {
      std::printf("window: class FLUTTER_RUNNER_WIN32_WINDOW, title morl_desktop\n");
      return 0;
    }
    Sleep(100);
  }
  std::printf("window: not found\n");
  return 1;
}
