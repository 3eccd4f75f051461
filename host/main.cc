// The process entry: console for diagnostics, the COM apartment, the
// application bundle and its arguments, the window, and the message loop.
#include <windows.h>
#include <objbase.h>

#include "host/app_project.h"
#include "host/command_line_arguments.h"
#include "host/debug_console.h"
#include "host/flutter_window.h"
#include "win32_support/com_apartment.h"

int APIENTRY wWinMain(_In_ HINSTANCE, _In_opt_ HINSTANCE, _In_ wchar_t*, _In_ int) {
  // Started from a console: write there. Under a debugger without one: open
  // our own, so diagnostics are not lost.
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    morl::host::FollowParentConsole();
  } else if (IsDebuggerPresent()) {
    morl::host::OpenDebugConsole();
  }

  // The main thread is the UI thread; the recorder relies on this apartment.
  // Left when `apartment` goes, after the window (declared later) is gone:
  // nothing of COM outlives it.
  const morl::ComApartment apartment(COINIT_APARTMENTTHREADED);

  flutter::AppProject project(L"data");
  project.set_entry_point_arguments(morl::host::CollectCommandLineArguments());

  morl::host::FlutterWindow window(project);
  if (!window.OpenWindow(L"morl_desktop", morl::host::Win32Window::Point{10, 10},
                         morl::host::Win32Window::Size{1280, 720})) {
    return 1;
  }
  window.SetQuitWhenClosed(true);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
