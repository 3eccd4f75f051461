// Stand-in for the media_kit_libs_windows_video_plugin library: records its registration and does
// nothing else.
#include "plugins/media_kit_libs_windows_video_plugin_c_api.h"

#include "plugin_registration_log.h"

extern "C" void MediaKitLibsWindowsVideoPluginCApiRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar) {
  LogPluginRegistration("MediaKitLibsWindowsVideoPluginCApiRegisterWithRegistrar", registrar);
}
