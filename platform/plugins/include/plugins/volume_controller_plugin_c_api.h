// Registration function of the volume_controller_plugin library.
#pragma once

#include "embedding/flutter_windows.h"

extern "C" {
void VolumeControllerPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
}
