// PlatformTaskQueue: closures that any thread hands to the thread that made
// the queue (the platform thread, whose message loop runs the window), run
// there in the order they were posted.
//
// A message-only window of the queue's own class stands for the queue: Post
// adds the closure under a lock and posts the window a private message, and
// the window procedure runs every closure queued by then. Nothing of the
// host's loop changes: any GetMessage/DispatchMessage loop of the platform
// thread, a modal one included, runs them.
//
// Every queue registers the class, or finds it registered by another queue;
// the queue destroyed last unregisters it (UnregisterClass refuses while
// another queue's window still uses it).
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

namespace morl {

class PlatformTaskQueue {
 public:
  // On the platform thread.
  PlatformTaskQueue();
  // On the platform thread. Closures still queued are dropped, not run: the
  // owner settles its own work before it lets the queue go, and a closure run
  // here would run inside an owner that is being destroyed.
  ~PlatformTaskQueue();
  PlatformTaskQueue(const PlatformTaskQueue&) = delete;
  PlatformTaskQueue& operator=(const PlatformTaskQueue&) = delete;

  // Whether the window exists; without it nothing posted would ever run by
  // itself, and the owner does its work in place instead.
  bool ok() const { return window_ != nullptr; }

  // Any thread. Queues `task` for the platform thread and wakes it. When the
  // message cannot be posted the task stays queued and runs with the next
  // one, or when the owner calls RunPending.
  void Post(std::function<void()> task);

  // Platform thread. Runs the closures queued so far, oldest first; one that
  // posts another gets it run in the same call.
  void RunPending();

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
  HWND window_ = nullptr;
};

}  // namespace morl
