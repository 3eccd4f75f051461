#include "host/flutter_view.h"

namespace flutter {

HWND FlutterView::NativeWindow() const { return FlutterDesktopViewGetHWND(view_handle_); }

}  // namespace flutter
