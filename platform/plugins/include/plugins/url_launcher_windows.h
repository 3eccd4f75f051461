// Registration function of the url_launcher_windows_plugin library.
#pragma once

#include "embedding/flutter_windows.h"

extern "C" {
void UrlLauncherWindowsRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
}
