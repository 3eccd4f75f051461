#include "win32_support/platform_task_queue.h"

#include <utility>

namespace morl {

namespace {

constexpr wchar_t kClassName[] = L"MORL_PLATFORM_TASK_QUEUE";
// The private message that says "closures are queued".
constexpr UINT kRunTasks = WM_APP + 0x71;

}  // namespace

PlatformTaskQueue::PlatformTaskQueue() {
  const HINSTANCE module = GetModuleHandleW(nullptr);
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = module;
  window_class.lpszClassName = kClassName;
  if (RegisterClassW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return;
  window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, this);
  if (window_ == nullptr) UnregisterClassW(kClassName, module);
}

PlatformTaskQueue::~PlatformTaskQueue() {
  if (window_ == nullptr) return;
  DestroyWindow(window_);
  // Fails, harmlessly, while another queue's window is of the class.
  UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
}

void PlatformTaskQueue::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  if (window_ != nullptr) PostMessageW(window_, kRunTasks, 0, 0);
}

void PlatformTaskQueue::RunPending() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

LRESULT CALLBACK PlatformTaskQueue::WindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                               LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (message == kRunTasks) {
    auto* queue = reinterpret_cast<PlatformTaskQueue*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (queue != nullptr) queue->RunPending();
    return 0;
  } else if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace morl
