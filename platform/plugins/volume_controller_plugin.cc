// Stand-in for the volume_controller_plugin library: records its registration and does
// nothing else.
#include "plugins/volume_controller_plugin_c_api.h"

#include "plugin_registration_log.h"

extern "C" void VolumeControllerPluginCApiRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar) {
  LogPluginRegistration("VolumeControllerPluginCApiRegisterWithRegistrar", registrar);
}
