// Registration function of the media_kit_libs_windows_video_plugin library.
#pragma once

#include "flutter_windows.h"

// The plugin's build defines this to export the function; users see it empty.
#ifndef MORL_PLUGIN_EXPORT
#define MORL_PLUGIN_EXPORT
#endif

extern "C" {
MORL_PLUGIN_EXPORT void MediaKitLibsWindowsVideoPluginCApiRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
}
