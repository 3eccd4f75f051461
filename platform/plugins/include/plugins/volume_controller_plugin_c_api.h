// Registration function of the volume_controller_plugin library.
#pragma once

#include "flutter_windows.h"

// The plugin's build defines this to export the function; users see it empty.
#ifndef MORL_PLUGIN_EXPORT
#define MORL_PLUGIN_EXPORT
#endif

extern "C" {
MORL_PLUGIN_EXPORT void VolumeControllerPluginCApiRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
}
