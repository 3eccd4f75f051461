// Stand-in for the media_kit_video_plugin library: records its registration and does
// nothing else.
#include "plugins/media_kit_video_plugin_c_api.h"

#include "plugin_registration_log.h"

extern "C" void MediaKitVideoPluginCApiRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar) {
  LogPluginRegistration("MediaKitVideoPluginCApiRegisterWithRegistrar", registrar);
}
