// Owning wrapper of one engine instance: creates it from the project, owns
// its messenger wrapper, hands out plugin registrars, and forwards the
// next-frame callback. A view controller takes the engine handle over with
// ReleaseEngineHandle; the wrapper keeps working with it afterwards.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "host/app_project.h"
#include "messaging/binary_messenger_impl.h"
#include "embedding/flutter_windows.h"
#include "host/plugin_registry.h"

namespace flutter {

class FlutterEngine : public PluginRegistry {
 public:
  explicit FlutterEngine(const AppProject& project);
  ~FlutterEngine() override;
  FlutterEngine(const FlutterEngine&) = delete;
  FlutterEngine& operator=(const FlutterEngine&) = delete;

  // Gives up ownership: the destructor will no longer destroy the engine.
  FlutterDesktopEngineRef ReleaseEngineHandle();

  FlutterDesktopPluginRegistrarRef RegistrarForPlugin(const std::string& plugin_name) override;

  void ReloadSystemFonts();

  // Runs `callback` once, after the engine's next frame.
  void SetNextFrameCallback(std::function<void()> callback);

  // Null when the engine could not be created.
  BinaryMessenger* messenger() { return messenger_.get(); }

 private:
  static void OnNextFrame(void* user_data);

  FlutterDesktopEngineRef engine_handle_ = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
  bool owns_engine_ = true;
  std::function<void()> next_frame_callback_;
};

}  // namespace flutter
