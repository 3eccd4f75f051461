#include "scripted_engine.h"

#include <algorithm>
#include <cstring>

#include <shellscalingapi.h>

namespace scripted_engine {
namespace {

struct Engine {
  int unused;
};
struct Controller {
  int unused;
};
struct View {
  int unused;
};

constexpr wchar_t kViewClass[] = L"SCRIPTED_ENGINE_VIEW";

struct State {
  Script script;
  std::vector<std::string> calls;
  PropertiesSeen properties;
  std::vector<std::pair<std::string, FlutterDesktopPluginRegistrarRef>> registrars;
  Engine engine{};
  Controller controller{};
  View view{};
  bool engine_alive = false;
  bool controller_alive = false;
  HWND view_window = nullptr;
  FlutterDesktopOnNextFrameCallback next_frame = nullptr;
  void* next_frame_user_data = nullptr;
};

State& S() {
  static State state;
  return state;
}

FlutterDesktopEngineRef EngineRef() {
  return reinterpret_cast<FlutterDesktopEngineRef>(&S().engine);
}
FlutterDesktopViewControllerRef ControllerRef() {
  return reinterpret_cast<FlutterDesktopViewControllerRef>(&S().controller);
}

void Record(std::string call) { S().calls.push_back(std::move(call)); }

void EndEngine() {
  S().engine_alive = false;
  S().next_frame = nullptr;
}

}  // namespace

void Reset() { S() = State(); }
Script& script() { return S().script; }
const std::vector<std::string>& calls() { return S().calls; }
int CountCalls(const std::string& call) {
  return static_cast<int>(std::count(S().calls.begin(), S().calls.end(), call));
}
const PropertiesSeen& properties() { return S().properties; }
const std::vector<std::pair<std::string, FlutterDesktopPluginRegistrarRef>>& registrars() {
  return S().registrars;
}
HWND view_window() { return S().view_window; }
bool engine_alive() { return S().engine_alive; }

bool ProduceFrame() {
  FlutterDesktopOnNextFrameCallback callback = S().next_frame;
  if (callback == nullptr) return false;
  S().next_frame = nullptr;
  callback(S().next_frame_user_data);
  return true;
}

}  // namespace scripted_engine

using scripted_engine::Record;
using scripted_engine::S;

extern "C" {

FlutterDesktopEngineRef FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* p) {
  Record("EngineCreate");
  static_assert(sizeof(FlutterDesktopEngineProperties) == 64, "the record is 64 bytes");
  auto& seen = S().properties;
  std::memcpy(seen.bytes, p, sizeof(seen.bytes));
  seen.assets_path = p->assets_path ? p->assets_path : L"";
  seen.icu_data_path = p->icu_data_path ? p->icu_data_path : L"";
  seen.aot_library_path = p->aot_library_path ? p->aot_library_path : L"";
  seen.entry_point_null = p->dart_entrypoint == nullptr;
  seen.entry_point = p->dart_entrypoint ? p->dart_entrypoint : "";
  seen.arguments.clear();
  for (int i = 0; i < p->dart_entrypoint_argc; ++i)
    seen.arguments.emplace_back(p->dart_entrypoint_argv[i]);
  if (S().script.engine_create_fails) return nullptr;
  S().engine_alive = true;
  return scripted_engine::EngineRef();
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  Record("EngineDestroy");
  if (engine != scripted_engine::EngineRef()) return false;
  scripted_engine::EndEngine();
  return true;
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  Record("GetMessenger");
  return engine ? reinterpret_cast<FlutterDesktopMessengerRef>(engine) : nullptr;
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine, const char* name) {
  Record(std::string("GetPluginRegistrar(") + name + ")");
  // A distinct registrar per request, so a test sees which plugin got which.
  static char registrars[16];
  auto* registrar = reinterpret_cast<FlutterDesktopPluginRegistrarRef>(
      &registrars[S().registrars.size() % sizeof(registrars)]);
  if (engine == nullptr) registrar = nullptr;
  S().registrars.emplace_back(name, registrar);
  return registrar;
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data) {
  Record("SetNextFrameCallback");
  S().next_frame = callback;
  S().next_frame_user_data = user_data;
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef) { Record("ReloadSystemFonts"); }

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int width, int height,
                                                                   FlutterDesktopEngineRef engine) {
  Record("ViewControllerCreate(" + std::to_string(width) + "," + std::to_string(height) + ")");
  if (S().script.on_controller_create) S().script.on_controller_create();
  if (S().script.controller_create_fails || engine == nullptr) {
    // The controller owns the engine it was given, even when it fails.
    scripted_engine::EndEngine();
    return nullptr;
  }
  WNDCLASSW view_class{};
  view_class.lpfnWndProc = DefWindowProcW;
  view_class.lpszClassName = scripted_engine::kViewClass;
  RegisterClassW(&view_class);
  S().view_window = CreateWindowExW(0, scripted_engine::kViewClass, L"", WS_VISIBLE, 0, 0, width,
                                    height, nullptr, nullptr, nullptr, nullptr);
  S().controller_alive = true;
  return scripted_engine::ControllerRef();
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef) {
  Record("ViewControllerDestroy");
  if (S().script.on_controller_destroy) S().script.on_controller_destroy();
  DestroyWindow(S().view_window);
  S().view_window = nullptr;
  UnregisterClassW(scripted_engine::kViewClass, nullptr);
  S().controller_alive = false;
  scripted_engine::EndEngine();
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef) {
  Record("GetView");
  return reinterpret_cast<FlutterDesktopViewRef>(&S().view);
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef) {
  Record("ForceRedraw");
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(FlutterDesktopViewControllerRef, HWND,
                                                          UINT message, WPARAM, LPARAM,
                                                          LRESULT* result) {
  if (S().script.consumed_messages.count(message) == 0) return false;
  *result = S().script.consumed_result;
  return true;
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef) { return S().view_window; }

UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor) {
  UINT x = 96, y = 96;
  GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &x, &y);
  return x;
}

void FlutterDesktopResyncOutputStreams() { Record("ResyncOutputStreams"); }

}  // extern "C"

// The messenger: channel handlers are recorded; nothing is ever delivered.
extern "C" {

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef, const char*, const uint8_t*, size_t) {
  return false;
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef, const char*, const uint8_t*,
                                          size_t, FlutterDesktopBinaryReply, void*) {
  return false;
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef,
                                         const FlutterDesktopMessageResponseHandle*, const uint8_t*,
                                         size_t) {}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef, const char* channel,
                                        FlutterDesktopMessageCallback callback, void*) {
  Record(std::string(callback ? "SetCallback(" : "ClearCallback(") + channel + ")");
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef) {}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef) { return S().engine_alive; }

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef) {}

}  // extern "C"
