// How a stand-in plugin makes its registration observable: the stand-in
// engine writes it to its transcript under the registrar's plugin name.
#pragma once

#include <string>

#include "embedding/flutter_windows.h"
#include "morl_standin.h"

inline void LogPluginRegistration(const char* function_name,
                                  FlutterDesktopPluginRegistrarRef registrar) {
  MorlStandInRegistrarLog(registrar, (std::string("plugin registered: ") + function_name).c_str());
}
