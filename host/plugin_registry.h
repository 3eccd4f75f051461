// Where plugins obtain their registrars from the running engine.
#pragma once

#include <string>

#include "embedding/flutter_windows.h"

namespace flutter {

class PluginRegistry {
 public:
  virtual ~PluginRegistry() = default;

  // The registrar for the plugin called `plugin_name`, or null when the
  // engine is not running.
  virtual FlutterDesktopPluginRegistrarRef RegistrarForPlugin(const std::string& plugin_name) = 0;
};

}  // namespace flutter
