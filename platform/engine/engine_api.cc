// Engine, view controller and view functions of the embedding interface, and
// the stand-in's own hooks.
#include <shellscalingapi.h>

#include <cstdio>
#include <map>
#include <mutex>

#include "engine_state.h"
#include "include/morl_standin.h"

using morl_standin::Diagnostic;

namespace {

int g_live_engines = 0;  // platform thread only; the window classes live while engines do
std::atomic<bool> g_fail_next_controller{false};

struct TopLevelHooks {
  std::mutex mutex;
  std::map<UINT, LRESULT> consumed;
};
TopLevelHooks& Hooks() {
  static TopLevelHooks* hooks = new TopLevelHooks;
  return *hooks;
}

// No exception may leave the library through its C interface.
template <typename T, typename Body>
T Guarded(T fallback, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    Diagnostic(std::string("stand-in engine: ") + e.what());
  } catch (...) {
    Diagnostic("stand-in engine: unknown failure");
  }
  return fallback;
}

void RegisterClasses() {
  if (g_live_engines++ > 0) return;
  WNDCLASSW wc{};
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpfnWndProc = morl_standin::EngineWindowProc;
  wc.lpszClassName = morl_standin::kEngineWindowClass;
  RegisterClassW(&wc);
  wc.lpfnWndProc = morl_standin::ViewWindowProc;
  wc.lpszClassName = morl_standin::kViewWindowClass;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  RegisterClassW(&wc);
}

void ReleaseClasses() {
  if (--g_live_engines > 0) return;
  UnregisterClassW(morl_standin::kViewWindowClass, GetModuleHandleW(nullptr));
  UnregisterClassW(morl_standin::kEngineWindowClass, GetModuleHandleW(nullptr));
}

// UTF-16 code units (in wchar_t) to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(const wchar_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (; *text != 0; ++text) {
    char32_t c = static_cast<char16_t>(*text);
    if (c >= 0xD800 && c < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(*++text) - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace

namespace morl_standin {

void Diagnostic(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

void ShutDownEngine(FlutterDesktopEngine* engine) {
  FlutterDesktopMessenger* messenger = engine->messenger;
  {
    std::lock_guard<std::recursive_mutex> lock(messenger->mutex);
    messenger->engine = nullptr;
    engine->handlers.clear();
    engine->handles.clear();
  }
  DestroyWindow(engine->window);
  // Every accepted send-with-reply gets its one answer, empty when the user
  // interface never gave one.
  for (const UiReply& pending : engine->ui_replies) pending.reply(nullptr, 0, pending.user_data);
  engine->ui_replies.clear();
  FlutterDesktopMessengerRelease(messenger);
  delete engine;
  ReleaseClasses();
}

}  // namespace morl_standin

FlutterDesktopEngineRef FlutterDesktopEngineCreate(
    const FlutterDesktopEngineProperties* properties) {
  return Guarded<FlutterDesktopEngineRef>(nullptr, [&]() -> FlutterDesktopEngineRef {
    if (properties == nullptr) return nullptr;
    std::vector<std::string> args;
    for (int i = 0;
         properties->dart_entrypoint_argv != nullptr && i < properties->dart_entrypoint_argc; ++i) {
      const char* arg = properties->dart_entrypoint_argv[i];
      args.emplace_back(arg == nullptr ? "" : arg);
    }
    auto engine = std::make_unique<FlutterDesktopEngine>();
    RegisterClasses();
    engine->window =
        CreateWindowExW(0, morl_standin::kEngineWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                        nullptr, GetModuleHandleW(nullptr), engine.get());
    if (engine->window == nullptr) {
      ReleaseClasses();
      Diagnostic("stand-in engine: cannot create its message window");
      return nullptr;
    }
    engine->messenger = new FlutterDesktopMessenger;
    engine->messenger->engine = engine.get();
    morl_standin::ConfigureFromArguments(*engine, args, WideToUtf8(properties->assets_path));
    return engine.release();
  });
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  return Guarded(false, [&] {
    if (engine == nullptr) return false;
    if (engine->controller != nullptr) {
      Diagnostic("stand-in engine: an engine run by a view controller ends with the controller");
      return false;
    }
    morl_standin::ShutDownEngine(engine);
    return true;
  });
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  return engine == nullptr ? nullptr : engine->messenger;
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine, const char* plugin_name) {
  return Guarded<FlutterDesktopPluginRegistrarRef>(
      nullptr, [&]() -> FlutterDesktopPluginRegistrarRef {
        if (engine == nullptr || plugin_name == nullptr) return nullptr;
        auto& registrar = engine->registrars[plugin_name];
        if (!registrar) registrar.reset(new FlutterDesktopPluginRegistrar{engine, plugin_name});
        return registrar.get();
      });
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data) {
  if (engine == nullptr) return;
  engine->next_frame = callback;
  engine->next_frame_data = user_data;
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  if (engine != nullptr) ++engine->font_reloads;
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int width, int height,
                                                                   FlutterDesktopEngineRef engine) {
  return Guarded<FlutterDesktopViewControllerRef>(
      nullptr, [&]() -> FlutterDesktopViewControllerRef {
        if (engine == nullptr) return nullptr;
        // The controller owns the engine from here on, so an engine whose view
        // cannot be made is ended here: its caller has given it up.
        auto controller = std::make_unique<FlutterDesktopViewController>();
        controller->engine = engine;
        HWND view = nullptr;
        if (!g_fail_next_controller.exchange(false)) {
          view = CreateWindowExW(0, morl_standin::kViewWindowClass, L"", WS_CHILD | WS_VISIBLE, 0,
                                 0, width, height, engine->window, nullptr,
                                 GetModuleHandleW(nullptr), &controller->view);
        }
        if (view == nullptr) {
          morl_standin::ShutDownEngine(engine);
          return nullptr;
        }
        controller->view.hwnd = view;
        engine->controller = controller.get();
        PostMessageW(engine->window, morl_standin::kFrame, 0, 0);
        return controller.release();
      });
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  Guarded(0, [&] {
    if (controller == nullptr) return 0;
    if (controller->view.hwnd != nullptr) DestroyWindow(controller->view.hwnd);
    controller->engine->controller = nullptr;
    morl_standin::ShutDownEngine(controller->engine);
    delete controller;
    return 0;
  });
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  return controller == nullptr ? nullptr : &controller->view;
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  if (controller != nullptr) PostMessageW(controller->engine->window, morl_standin::kFrame, 0, 0);
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND, UINT message, WPARAM, LPARAM,
    LRESULT* result) {
  if (controller == nullptr || result == nullptr) return false;
  TopLevelHooks& hooks = Hooks();
  std::lock_guard<std::mutex> lock(hooks.mutex);
  auto it = hooks.consumed.find(message);
  if (it == hooks.consumed.end()) return false;
  *result = it->second;
  return true;
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  return view == nullptr ? nullptr : view->hwnd;
}

UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor) {
  UINT dpi_x = 96;
  UINT dpi_y = 96;
  if (FAILED(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpi_x, &dpi_y))) return 96;
  return dpi_x;
}

void FlutterDesktopResyncOutputStreams(void) {
  // The transcript and diagnostics go through stdio, which already follows
  // reopened standard streams; pending output is pushed out.
  std::fflush(stdout);
  std::fflush(stderr);
}

void MorlStandInRegistrarLog(FlutterDesktopPluginRegistrarRef registrar, const char* text) {
  Guarded(0, [&] {
    if (registrar == nullptr) {
      Diagnostic(std::string("stand-in engine: log through a null registrar: ") +
                 (text ? text : ""));
      return 0;
    }
    registrar->engine->transcript.Write(morl_standin::Json::object(
        {{"registrar", registrar->name}, {"log", text == nullptr ? "" : text}}));
    return 0;
  });
}

void MorlStandInConsumeTopLevelMessage(UINT message, LRESULT result) {
  TopLevelHooks& hooks = Hooks();
  std::lock_guard<std::mutex> lock(hooks.mutex);
  hooks.consumed[message] = result;
}

void MorlStandInClearTopLevelMessages(void) {
  TopLevelHooks& hooks = Hooks();
  std::lock_guard<std::mutex> lock(hooks.mutex);
  hooks.consumed.clear();
}

void MorlStandInFailNextViewController(void) { g_fail_next_controller = true; }

int MorlStandInFontReloads(FlutterDesktopEngineRef engine) {
  return engine == nullptr ? 0 : engine->font_reloads;
}

int MorlStandInFrames(FlutterDesktopEngineRef engine) {
  return engine == nullptr ? 0 : engine->frames;
}
