#include "host/flutter_engine.h"

#include <cstdio>
#include <vector>

namespace flutter {

FlutterEngine::FlutterEngine(const AppProject& project) {
  owns_engine_ = true;

  FlutterDesktopEngineProperties properties{};
  properties.assets_path = project.assets_path().c_str();
  properties.icu_data_path = project.icu_data_path().c_str();
  properties.aot_library_path = project.aot_library_path().c_str();
  properties.dart_entrypoint = project.entry_point().c_str();

  // Pointers into the project's strings, alive only for the create call.
  const auto& arguments = project.entry_point_arguments();
  std::vector<const char*> argv;
  argv.reserve(arguments.size());
  for (const auto& argument : arguments) argv.push_back(argument.c_str());
  properties.dart_entrypoint_argc = static_cast<int>(argv.size());
  properties.dart_entrypoint_argv = argv.empty() ? nullptr : argv.data();
  properties.option_code_1 = project.option_codes()[0];
  properties.option_code_2 = project.option_codes()[1];
  properties.option_code_3 = project.option_codes()[2];

  engine_handle_ = FlutterDesktopEngineCreate(&properties);
  if (engine_handle_ == nullptr) {
    // Without an engine there is no messenger either; the view controller
    // sees the null handle and the window fails to open.
    std::fputs("Failed to create engine.\n", stderr);
    std::fflush(stderr);
    return;
  }
  messenger_ =
      std::make_unique<BinaryMessengerImpl>(FlutterDesktopEngineGetMessenger(engine_handle_));
}

FlutterEngine::~FlutterEngine() {
  if (engine_handle_ != nullptr && owns_engine_) FlutterDesktopEngineDestroy(engine_handle_);
  engine_handle_ = nullptr;
  next_frame_callback_ = nullptr;
  messenger_.reset();
}

FlutterDesktopEngineRef FlutterEngine::ReleaseEngineHandle() {
  owns_engine_ = false;
  return engine_handle_;
}

FlutterDesktopPluginRegistrarRef FlutterEngine::RegistrarForPlugin(const std::string& plugin_name) {
  if (engine_handle_ == nullptr) {
    std::fputs("Cannot get plugin registrar on an engine that isn't running; call Run first.\n",
               stderr);
    std::fflush(stderr);
    return nullptr;
  }
  return FlutterDesktopEngineGetPluginRegistrar(engine_handle_, plugin_name.c_str());
}

void FlutterEngine::ReloadSystemFonts() { FlutterDesktopEngineReloadSystemFonts(engine_handle_); }

void FlutterEngine::SetNextFrameCallback(std::function<void()> callback) {
  // Stored first: the engine may call back before SetNextFrameCallback returns.
  next_frame_callback_ = std::move(callback);
  FlutterDesktopEngineSetNextFrameCallback(engine_handle_, &FlutterEngine::OnNextFrame, this);
}

void FlutterEngine::OnNextFrame(void* user_data) {
  auto* self = static_cast<FlutterEngine*>(user_data);
  if (!self->next_frame_callback_) return;
  // Taken out before running, so the callback can register a new one.
  std::function<void()> callback = std::move(self->next_frame_callback_);
  self->next_frame_callback_ = nullptr;
  callback();
}

}  // namespace flutter
