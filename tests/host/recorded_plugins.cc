#include "recorded_plugins.h"

#include "plugins/media_kit_libs_windows_video_plugin_c_api.h"
#include "plugins/media_kit_video_plugin_c_api.h"
#include "plugins/url_launcher_windows.h"
#include "plugins/volume_controller_plugin_c_api.h"

std::vector<std::pair<std::string, FlutterDesktopPluginRegistrarRef>>& PluginRegistrations() {
  static std::vector<std::pair<std::string, FlutterDesktopPluginRegistrarRef>> registrations;
  return registrations;
}

extern "C" {
void MediaKitLibsWindowsVideoPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef r) {
  PluginRegistrations().emplace_back("MediaKitLibsWindowsVideoPluginCApiRegisterWithRegistrar", r);
}
void MediaKitVideoPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef r) {
  PluginRegistrations().emplace_back("MediaKitVideoPluginCApiRegisterWithRegistrar", r);
}
void UrlLauncherWindowsRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef r) {
  PluginRegistrations().emplace_back("UrlLauncherWindowsRegisterWithRegistrar", r);
}
void VolumeControllerPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef r) {
  PluginRegistrations().emplace_back("VolumeControllerPluginCApiRegisterWithRegistrar", r);
}
}
