// Stand-in for the url_launcher_windows_plugin library: records its registration and does
// nothing else.
#include "plugins/url_launcher_windows.h"

#include "plugin_registration_log.h"

extern "C" void UrlLauncherWindowsRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar) {
  LogPluginRegistration("UrlLauncherWindowsRegisterWithRegistrar", registrar);
}
