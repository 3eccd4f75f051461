// How a stand-in plugin makes its registration observable: the stand-in
// engine writes it to its transcript, naming the registrar.
#pragma once

#include "embedding/flutter_windows.h"

inline void LogPluginRegistration(const char* function_name,
                                  FlutterDesktopPluginRegistrarRef registrar) {
  FlutterDesktopPluginRegistrarLogRegistration(registrar, function_name);
}
