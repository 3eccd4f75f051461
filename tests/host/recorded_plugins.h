// The four plugin registration functions, recording what they were given.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "embedding/flutter_windows.h"

// (registration function, registrar) in call order.
std::vector<std::pair<std::string, FlutterDesktopPluginRegistrarRef>>& PluginRegistrations();
