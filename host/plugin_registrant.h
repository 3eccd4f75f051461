// Registers the plugin libraries the application's user interface uses.
#pragma once

#include "host/plugin_registry.h"

// Each plugin, in a fixed order, gets its registrar from `registry` and
// registers itself through its library's registration function.
void RegisterAllPlugins(flutter::PluginRegistry* registry);
