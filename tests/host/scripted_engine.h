// A scripted embedding library for host tests: implements the engine, view
// controller and view functions the host calls, records every call, and lets
// a test decide what the engine answers (creation failures, consumed window
// messages) and when a frame is produced.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "embedding/flutter_windows.h"

namespace scripted_engine {

// The engine properties record as FlutterDesktopEngineCreate received it:
// its raw bytes and the strings its pointers led to at that moment.
struct PropertiesSeen {
  std::uint8_t bytes[64] = {};
  std::wstring assets_path, icu_data_path, aot_library_path;
  bool entry_point_null = true;
  std::string entry_point;
  std::vector<std::string> arguments;
};

struct Script {
  bool engine_create_fails = false;
  bool controller_create_fails = false;
  // Messages the engine consumes, answering `consumed_result`.
  std::set<UINT> consumed_messages;
  LRESULT consumed_result = 0;
  // Runs inside FlutterDesktopViewControllerCreate, before it returns.
  std::function<void()> on_controller_create;
  // Runs inside FlutterDesktopViewControllerDestroy.
  std::function<void()> on_controller_destroy;
};

// Back to a default script with empty records; checks nothing is alive.
void Reset();
Script& script();

// Every call in order: "EngineCreate", "GetMessenger", "GetPluginRegistrar(name)",
// "ViewControllerCreate(w,h)", "GetView", "SetNextFrameCallback", "ForceRedraw",
// "ReloadSystemFonts", "ViewControllerDestroy", "EngineDestroy", "ResyncOutputStreams".
const std::vector<std::string>& calls();
int CountCalls(const std::string& call);
const PropertiesSeen& properties();

// Registrars handed out, by plugin name, in order.
const std::vector<std::pair<std::string, FlutterDesktopPluginRegistrarRef>>& registrars();

// The view's window while a controller exists.
HWND view_window();
bool engine_alive();

// Produces a frame: runs the pending next-frame callback, if any, once.
// Returns whether one ran.
bool ProduceFrame();

}  // namespace scripted_engine
