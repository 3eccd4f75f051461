// Owning wrapper of one view controller: it takes over the engine it is
// created with and owns the view, which it ends on destruction.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>

#include "host/app_project.h"
#include "host/flutter_engine.h"
#include "host/flutter_view.h"
#include "embedding/flutter_windows.h"

namespace flutter {

class FlutterViewController {
 public:
  // Creates an engine for `project` and a view of `width` x `height`
  // physical pixels running it. On failure view() is null.
  FlutterViewController(int width, int height, const AppProject& project);
  virtual ~FlutterViewController();
  FlutterViewController(const FlutterViewController&) = delete;
  FlutterViewController& operator=(const FlutterViewController&) = delete;

  FlutterEngine* engine() { return engine_.get(); }
  FlutterView* view() { return view_.get(); }

  // Asks for a frame even when nothing changed.
  void ForceRedraw();

  // Offers a top-level window message to the engine; a value means the
  // engine consumed it and that is the message's result.
  std::optional<LRESULT> HandleTopLevelWindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                                  LPARAM lparam);

 private:
  FlutterDesktopViewControllerRef controller_handle_ = nullptr;
  std::shared_ptr<FlutterEngine> engine_;
  std::unique_ptr<FlutterView> view_;
};

}  // namespace flutter
