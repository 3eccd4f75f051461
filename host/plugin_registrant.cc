#include "host/plugin_registrant.h"

#include "plugins/media_kit_libs_windows_video_plugin_c_api.h"
#include "plugins/media_kit_video_plugin_c_api.h"
#include "plugins/url_launcher_windows.h"
#include "plugins/volume_controller_plugin_c_api.h"

void RegisterAllPlugins(flutter::PluginRegistry* registry) {
  // A null registrar (engine not running) is handed on; each plugin decides.
  MediaKitLibsWindowsVideoPluginCApiRegisterWithRegistrar(
      registry->RegistrarForPlugin("MediaKitLibsWindowsVideoPluginCApi"));
  MediaKitVideoPluginCApiRegisterWithRegistrar(
      registry->RegistrarForPlugin("MediaKitVideoPluginCApi"));
  UrlLauncherWindowsRegisterWithRegistrar(registry->RegistrarForPlugin("UrlLauncherWindows"));
  VolumeControllerPluginCApiRegisterWithRegistrar(
      registry->RegistrarForPlugin("VolumeControllerPluginCApi"));
}
