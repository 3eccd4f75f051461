// Registration function of the media_kit_libs_windows_video_plugin library.
#pragma once

#include "embedding/flutter_windows.h"

extern "C" {
void MediaKitLibsWindowsVideoPluginCApiRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
}
