// Windowing rules the host's window relies on: class registration, the
// order of creation and destruction messages, the creation parameter and
// user data, the queue and posts from other threads, timers, the message
// loop's end, child geometry and monitors.
#include <windows.h>

#include <shellscalingapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "contract_support.h"
#include "wine_differences.h"

namespace {

using contract::Window;
using contract::WindowClass;

// What the window procedures below saw, in order. Only the messages the
// host acts on are kept: Windows sends many more, in an order of its own.
struct Trace {
  std::vector<std::pair<HWND, UINT>> messages;
  void* create_param_at_nccreate = nullptr;
  LONG_PTR user_data_at_create = 0;
  LRESULT create_result = 0;
  // Destroyed from its parent's WM_DESTROY when set.
  HWND child_destroyed_by_parent = nullptr;
};
Trace* g_trace = nullptr;

bool Watched(UINT message) {
  switch (message) {
    case WM_NCCREATE:
    case WM_CREATE:
    case WM_SIZE:
    case WM_MOVE:
    case WM_DESTROY:
    case WM_NCDESTROY:
    case WM_TIMER:
    case WM_APP:
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK TracingProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (g_trace != nullptr && Watched(message)) g_trace->messages.emplace_back(hwnd, message);
  if (g_trace != nullptr && message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    g_trace->create_param_at_nccreate = create->lpCreateParams;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  if (g_trace != nullptr && message == WM_DESTROY &&
      g_trace->child_destroyed_by_parent != nullptr &&
      GetParent(g_trace->child_destroyed_by_parent) == hwnd) {
    DestroyWindow(g_trace->child_destroyed_by_parent);
  }
  if (g_trace != nullptr && message == WM_CREATE) {
    g_trace->user_data_at_create = GetWindowLongPtrW(hwnd, GWLP_USERDATA);
    if (g_trace->create_result != 0) return g_trace->create_result;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

class UserContract : public ::testing::Test {
 protected:
  void SetUp() override { g_trace = &trace_; }
  void TearDown() override { g_trace = nullptr; }

  HWND Create(const WindowClass& cls, DWORD style, HWND parent, void* param = nullptr, int x = 0,
              int y = 0, int w = 200, int h = 100) {
    return CreateWindowExW(0, cls.Name(), L"contract", style, x, y, w, h, parent, nullptr,
                           GetModuleHandleW(nullptr), param);
  }
  std::vector<UINT> MessagesOf(HWND hwnd, std::vector<UINT> only) const {
    std::vector<UINT> out;
    for (const auto& [to, message] : trace_.messages) {
      if (to == hwnd && std::find(only.begin(), only.end(), message) != only.end()) {
        out.push_back(message);
      }
    }
    return out;
  }
  int IndexOf(HWND hwnd, UINT message) const {
    for (std::size_t i = 0; i < trace_.messages.size(); ++i) {
      if (trace_.messages[i] == std::make_pair(hwnd, message)) return static_cast<int>(i);
    }
    return -1;
  }

  Trace trace_;
};

// Registering a class twice, unregistering one that still has windows or
// does not exist, and creating a window of an unknown class each fail with
// their own error, which the host's registrar reports.
TEST_F(UserContract, ClassRegistrationErrors) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  WindowClass cls(L"MorlContractClass", TracingProc);
  ASSERT_NE(cls.Atom(), 0);
  WNDCLASSW again{};
  again.lpfnWndProc = TracingProc;
  again.hInstance = GetModuleHandleW(nullptr);
  again.lpszClassName = cls.Name();
  SetLastError(0);
  EXPECT_EQ(RegisterClassW(&again), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

  Window window(Create(cls, WS_OVERLAPPEDWINDOW, nullptr));
  ASSERT_NE(window.Get(), nullptr);
  SetLastError(0);
  EXPECT_FALSE(UnregisterClassW(cls.Name(), GetModuleHandleW(nullptr)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));

  SetLastError(0);
  EXPECT_FALSE(UnregisterClassW(L"MorlContractNoSuchClass", GetModuleHandleW(nullptr)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
  // Which error an unknown class gives is not documented (the simulated
  // machine and Wine differ); only that creation fails and says why.
  SetLastError(0);
  EXPECT_EQ(CreateWindowExW(0, L"MorlContractNoSuchClass", L"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr),
            nullptr);
  EXPECT_NE(GetLastError(), 0u);
}

// The host stores its object at WM_NCCREATE from lpCreateParams and finds it
// again at WM_CREATE: NCCREATE comes first, and the user data set there is
// already readable when WM_CREATE arrives, before CreateWindowExW returns.
TEST_F(UserContract, CreateParameterReachesNcCreateBeforeCreate) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  WindowClass cls(L"MorlContractCreate", TracingProc);
  int object = 0;
  Window window(Create(cls, WS_OVERLAPPEDWINDOW, nullptr, &object));
  ASSERT_NE(window.Get(), nullptr);
  EXPECT_EQ(trace_.create_param_at_nccreate, &object);
  EXPECT_EQ(trace_.user_data_at_create, reinterpret_cast<LONG_PTR>(&object));
  EXPECT_EQ(GetWindowLongPtrW(window.Get(), GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&object));
  const int nccreate = IndexOf(window.Get(), WM_NCCREATE);
  const int create = IndexOf(window.Get(), WM_CREATE);
  ASSERT_EQ(nccreate, 0) << "WM_NCCREATE is the first watched message";
  EXPECT_GT(create, nccreate);
  // A hidden window may get its first WM_SIZE at creation or when first
  // shown; either way it has one, after WM_CREATE, once it is visible.
  ShowWindow(window.Get(), SW_SHOW);
  EXPECT_GT(IndexOf(window.Get(), WM_SIZE), create);
}

// A window whose WM_CREATE answers -1 is destroyed and CreateWindowExW
// returns NULL; its class can be unregistered right after.
TEST_F(UserContract, CreateAnsweringMinusOneFailsCreation) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  WindowClass cls(L"MorlContractRefuse", TracingProc);
  trace_.create_result = -1;
  EXPECT_EQ(Create(cls, WS_OVERLAPPEDWINDOW, nullptr), nullptr);
  EXPECT_FALSE(trace_.messages.empty());
  const HWND refused = trace_.messages.front().first;
  EXPECT_FALSE(IsWindow(refused));
  EXPECT_NE(IndexOf(refused, WM_NCDESTROY), -1);
}

// DestroyWindow sends WM_DESTROY to a window before its children and
// WM_NCDESTROY to the children before the window: the host's view is still
// alive when the frame's WM_DESTROY runs.
TEST_F(UserContract, DestroyOrderParentFirstThenChildrenLast) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  WindowClass cls(L"MorlContractTree", TracingProc);
  Window parent(Create(cls, WS_OVERLAPPEDWINDOW, nullptr));
  ASSERT_NE(parent.Get(), nullptr);
  HWND child = Create(cls, WS_CHILD, parent.Get());
  ASSERT_NE(child, nullptr);
  trace_.messages.clear();
  ASSERT_TRUE(DestroyWindow(parent.Get()));
  EXPECT_FALSE(IsWindow(child));
  const int parent_destroy = IndexOf(parent.Get(), WM_DESTROY);
  const int child_destroy = IndexOf(child, WM_DESTROY);
  const int child_ncdestroy = IndexOf(child, WM_NCDESTROY);
  const int parent_ncdestroy = IndexOf(parent.Get(), WM_NCDESTROY);
  ASSERT_TRUE(parent_destroy >= 0 && child_destroy >= 0 && child_ncdestroy >= 0 &&
              parent_ncdestroy >= 0);
  EXPECT_LT(parent_destroy, child_destroy);
  EXPECT_LT(child_ncdestroy, parent_ncdestroy);
  EXPECT_EQ(parent_ncdestroy, static_cast<int>(trace_.messages.size()) - 1);
}

// A child that its parent's WM_DESTROY handler destroys gets one
// WM_DESTROY and one WM_NCDESTROY, inside the parent's.
TEST_F(UserContract, ChildDestroyedByTheParentsDestroyHandlerGetsOneDestroy) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  WindowClass cls(L"MorlContractNested", TracingProc);
  Window parent(Create(cls, WS_OVERLAPPEDWINDOW, nullptr));
  ASSERT_NE(parent.Get(), nullptr);
  HWND child = Create(cls, WS_CHILD, parent.Get());
  ASSERT_NE(child, nullptr);
  trace_.child_destroyed_by_parent = child;
  trace_.messages.clear();
  ASSERT_TRUE(DestroyWindow(parent.Get()));
  std::vector<std::pair<HWND, UINT>> teardown;
  for (const auto& m : trace_.messages) {
    if (m.second == WM_DESTROY || m.second == WM_NCDESTROY) teardown.push_back(m);
  }
  const std::vector<std::pair<HWND, UINT>> expected = {{parent.Get(), WM_DESTROY},
                                                       {child, WM_DESTROY},
                                                       {child, WM_NCDESTROY},
                                                       {parent.Get(), WM_NCDESTROY}};
  EXPECT_EQ(teardown, expected);
}

// WM_CLOSE left to DefWindowProc destroys the window.
TEST_F(UserContract, CloseByDefaultDestroysTheWindow) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  WindowClass cls(L"MorlContractClose", TracingProc);
  Window window(Create(cls, WS_OVERLAPPEDWINDOW, nullptr));
  ASSERT_NE(window.Get(), nullptr);
  SendMessageW(window.Get(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(window.Get()));
}

// A destroyed handle stays invalid: a second DestroyWindow and reads of its
// user data fail instead of reaching another window. (Which error the second
// DestroyWindow leaves is not documented; the simulated machine and Wine
// differ.)
TEST_F(UserContract, DestroyedHandleStaysInvalid) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  WindowClass cls(L"MorlContractStale", TracingProc);
  HWND hwnd = Create(cls, WS_OVERLAPPEDWINDOW, nullptr);
  ASSERT_NE(hwnd, nullptr);
  ASSERT_TRUE(DestroyWindow(hwnd));
  EXPECT_FALSE(DestroyWindow(hwnd));
  SetLastError(0);
  EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_USERDATA), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

// A child's window rectangle is in screen coordinates, offset by its
// parent's client origin; a child without a frame has its whole size as
// client area. The host lays its view out with these.
TEST_F(UserContract, ChildGeometryIsRelativeToTheParentClientArea) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  WindowClass cls(L"MorlContractGeometry", TracingProc);
  Window parent(Create(cls, WS_POPUP, nullptr, nullptr, 100, 120, 300, 200));
  ASSERT_NE(parent.Get(), nullptr);
  HWND child = Create(cls, WS_CHILD, parent.Get(), nullptr, 10, 20, 30, 40);
  ASSERT_NE(child, nullptr);
  RECT window{}, client{};
  ASSERT_TRUE(GetWindowRect(child, &window));
  ASSERT_TRUE(GetClientRect(child, &client));
  EXPECT_EQ(window.left, 110);
  EXPECT_EQ(window.top, 140);
  EXPECT_EQ(window.right, 140);
  EXPECT_EQ(window.bottom, 180);
  EXPECT_EQ(client.left, 0);
  EXPECT_EQ(client.top, 0);
  EXPECT_EQ(client.right, 30);
  EXPECT_EQ(client.bottom, 40);
  EXPECT_EQ(GetParent(child), parent.Get());
  EXPECT_EQ(GetAncestor(child, GA_ROOT), parent.Get());
  ASSERT_TRUE(MoveWindow(child, 0, 0, 50, 60, FALSE));
  ASSERT_TRUE(GetClientRect(child, &client));
  EXPECT_EQ(client.right, 50);
  EXPECT_EQ(client.bottom, 60);
}

// Moving or sizing a window sends WM_MOVE and WM_SIZE only for what
// changed; the host relays its size from WM_SIZE alone.
TEST_F(UserContract, MovingReportsOnlyWhatChanged) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  WindowClass cls(L"MorlContractMove", TracingProc);
  Window parent(Create(cls, WS_OVERLAPPEDWINDOW, nullptr));
  ASSERT_NE(parent.Get(), nullptr);
  HWND hwnd = Create(cls, WS_CHILD, parent.Get(), nullptr, 10, 20, 300, 200);
  ASSERT_NE(hwnd, nullptr);
  const struct {
    int x, y, w, h;
    std::vector<UINT> expected;
  } cases[] = {
      {10, 20, 300, 200, {}},
      {11, 20, 300, 200, {WM_MOVE}},
      {11, 20, 301, 200, {WM_SIZE}},
      {0, 0, 5, 5, {WM_MOVE, WM_SIZE}},
  };
  for (const auto& c : cases) {
    trace_.messages.clear();
    MoveWindow(hwnd, c.x, c.y, c.w, c.h, TRUE);
    EXPECT_EQ(MessagesOf(hwnd, {WM_MOVE, WM_SIZE}), c.expected) << c.x << "," << c.w;
  }
  trace_.messages.clear();
  SetWindowPos(hwnd, nullptr, 1, 1, 9, 9, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  EXPECT_EQ(MessagesOf(hwnd, {WM_MOVE, WM_SIZE}), std::vector<UINT>{WM_SIZE});
}

// SendMessageW runs the procedure before returning; PostMessageW queues,
// and the message keeps its parameters through GetMessage/DispatchMessage.
TEST_F(UserContract, SentRunsNowPostedWaitsForTheLoop) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  WindowClass cls(L"MorlContractPost", TracingProc);
  Window window(Create(cls, 0, HWND_MESSAGE));
  ASSERT_NE(window.Get(), nullptr);
  trace_.messages.clear();
  SendMessageW(window.Get(), WM_APP, 0, 0);
  EXPECT_EQ(trace_.messages.size(), 1u);
  ASSERT_TRUE(PostMessageW(window.Get(), WM_APP, 0x1234, 0x5678));
  EXPECT_EQ(trace_.messages.size(), 1u);
  MSG msg{};
  ASSERT_TRUE(PeekMessageW(&msg, window.Get(), WM_APP, WM_APP, PM_NOREMOVE));
  ASSERT_EQ(GetMessageW(&msg, window.Get(), WM_APP, WM_APP), TRUE);
  EXPECT_EQ(msg.hwnd, window.Get());
  EXPECT_EQ(msg.wParam, 0x1234u);
  EXPECT_EQ(msg.lParam, 0x5678);
  DispatchMessageW(&msg);
  EXPECT_EQ(trace_.messages.size(), 2u);
  EXPECT_FALSE(PeekMessageW(&msg, window.Get(), WM_APP, WM_APP, PM_REMOVE));
}

// PostQuitMessage ends the loop only once the queue is empty: messages
// posted before and after it are still delivered first, then GetMessageW
// returns 0 with the exit code in wParam.
TEST_F(UserContract, QuitEndsTheLoopAfterPendingMessages) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  WindowClass cls(L"MorlContractQuit", TracingProc);
  Window window(Create(cls, 0, HWND_MESSAGE));
  ASSERT_NE(window.Get(), nullptr);
  PostMessageW(window.Get(), WM_APP, 1, 0);
  PostQuitMessage(7);
  PostMessageW(window.Get(), WM_APP, 2, 0);
  std::vector<WPARAM> delivered;
  MSG msg{};
  BOOL got = 0;
  while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
    if (msg.message == WM_APP) delivered.push_back(msg.wParam);
    DispatchMessageW(&msg);
  }
  EXPECT_EQ(got, 0);
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(delivered, (std::vector<WPARAM>{1, 2}));
}

// PM_NOREMOVE leaves a message queued, a range filter passes over what lies
// outside it, WM_QUIT is retrieved once, and a post to a handle that is no
// window fails.
TEST_F(UserContract, PeekLeavesQueuedFiltersByRangeAndQuitComesOnce) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  WindowClass cls(L"MorlContractPeek", TracingProc);
  Window window(Create(cls, 0, HWND_MESSAGE));
  ASSERT_NE(window.Get(), nullptr);
  PostMessageW(window.Get(), WM_APP + 1, 0, 0);
  PostQuitMessage(7);
  PostMessageW(window.Get(), WM_APP + 2, 0, 0);
  MSG msg{};
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_APP + 1, WM_APP + 2, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP + 1))
      << "peeking without removal leaves it queued";
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_APP + 2, WM_APP + 2, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP + 2)) << "the range filter skips the first";
  while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "WM_QUIT is retrieved once";
  EXPECT_FALSE(PostMessageW(reinterpret_cast<HWND>(0x4), WM_APP, 0, 0));
}

// The capture workers post to the host's window from their own threads: the
// post wakes a GetMessageW already blocked on the window's thread.
TEST_F(UserContract, PostFromAnotherThreadWakesABlockedGetMessage) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  WindowClass cls(L"MorlContractWake", TracingProc);
  Window window(Create(cls, 0, HWND_MESSAGE));
  ASSERT_NE(window.Get(), nullptr);
  const HWND hwnd = window.Get();
  std::thread worker([hwnd] { PostMessageW(hwnd, WM_APP + 3, 42, 0); });
  MSG msg{};
  ASSERT_TRUE(GetMessageW(&msg, nullptr, WM_APP + 3, WM_APP + 3));
  worker.join();
  EXPECT_EQ(msg.hwnd, hwnd);
  EXPECT_EQ(msg.wParam, 42u);
}

// A window timer arrives as WM_TIMER for its window with its id, repeats
// until killed, a second KillTimer of the same id fails, and a
// destroyed window takes its timers with it.
TEST_F(UserContract, TimerRepeatsUntilKilled) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  WindowClass cls(L"MorlContractTimer", TracingProc);
  Window window(Create(cls, 0, HWND_MESSAGE));
  ASSERT_NE(window.Get(), nullptr);
  constexpr UINT_PTR kId = 42;
  ASSERT_EQ(SetTimer(window.Get(), kId, 10, nullptr), kId);
  // Polled against a deadline: a timer that never fires fails the case
  // instead of blocking the whole run in GetMessageW.
  LARGE_INTEGER frequency{}, now{}, deadline{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&deadline);
  deadline.QuadPart += frequency.QuadPart * 5;
  int ticks = 0;
  MSG msg{};
  while (ticks < 3 && QueryPerformanceCounter(&now) && now.QuadPart < deadline.QuadPart) {
    if (!PeekMessageW(&msg, window.Get(), 0, 0, PM_REMOVE)) {
      Sleep(1);
      continue;
    }
    if (msg.message == WM_TIMER) {
      EXPECT_EQ(msg.hwnd, window.Get());
      EXPECT_EQ(msg.wParam, kId);
      ++ticks;
    }
    DispatchMessageW(&msg);
  }
  ASSERT_EQ(ticks, 3) << "the timer stopped firing";
  EXPECT_EQ(IndexOf(window.Get(), WM_TIMER) >= 0, true) << "dispatched to the procedure";
  EXPECT_TRUE(KillTimer(window.Get(), kId));
  EXPECT_FALSE(KillTimer(window.Get(), kId));
  SetTimer(window.Get(), kId + 1, 10, nullptr);
  DestroyWindow(window.Get());
  PostQuitMessage(0);
  EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0)) << "no timer of a destroyed window is left";
}

int g_thread_timer_calls = 0;
void CALLBACK CountThreadTimer(HWND, UINT, UINT_PTR, DWORD) { ++g_thread_timer_calls; }

// A timer of no window, given a procedure, runs it when its WM_TIMER is
// dispatched.
TEST_F(UserContract, ThreadTimerRunsItsProcedureOnDispatch) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  g_thread_timer_calls = 0;
  const UINT_PTR id = SetTimer(nullptr, 0, 10, CountThreadTimer);
  ASSERT_NE(id, 0u);
  MSG msg{};
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  DispatchMessageW(&msg);
  EXPECT_EQ(g_thread_timer_calls, 1);
  EXPECT_TRUE(KillTimer(nullptr, id));
}

// The host sizes its window from the DPI of the monitor under its origin:
// the primary monitor answers with equal horizontal and vertical DPI, and
// a point far outside every monitor has none unless a default is asked for.
TEST_F(UserContract, MonitorDpiForThePrimaryMonitor) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  ASSERT_NE(primary, nullptr);
  UINT dpi_x = 0, dpi_y = 0;
  ASSERT_EQ(GetDpiForMonitor(primary, MDT_EFFECTIVE_DPI, &dpi_x, &dpi_y), S_OK);
  EXPECT_GE(dpi_x, 96u);
  EXPECT_EQ(dpi_x, dpi_y);
  EXPECT_EQ(MonitorFromPoint(POINT{-100000, -100000}, MONITOR_DEFAULTTONULL), nullptr);
  EXPECT_EQ(MonitorFromPoint(POINT{-100000, -100000}, MONITOR_DEFAULTTOPRIMARY), primary);
}

}  // namespace
