// Registration function of the media_kit_video_plugin library.
#pragma once

#include "embedding/flutter_windows.h"

extern "C" {
void MediaKitVideoPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
}
