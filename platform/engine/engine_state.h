// The stand-in engine's objects behind the opaque handles of the embedding
// interface. Everything runs on the platform thread except what the
// messenger's mutex guards (handlers, response handles, availability), which
// replies from other threads touch.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "embedding/flutter_windows.h"
#include "transcript.h"
#include "ui_script.h"

struct FlutterDesktopMessageResponseHandle {
  bool answered = false;
  morl_standin::Bytes reply;
};

struct FlutterDesktopMessenger {
  std::atomic<int> refs{1};
  std::recursive_mutex mutex;
  FlutterDesktopEngine* engine = nullptr;  // null once the engine is gone
};

struct FlutterDesktopPluginRegistrar {
  FlutterDesktopEngine* engine = nullptr;
  std::string name;
};

struct FlutterDesktopView {
  HWND hwnd = nullptr;  // cleared when the window goes
};

struct FlutterDesktopViewController {
  FlutterDesktopEngine* engine = nullptr;
  FlutterDesktopView view;
};

namespace morl_standin {

struct ChannelHandler {
  FlutterDesktopMessageCallback callback = nullptr;
  void* user_data = nullptr;
};

struct UiReply {
  FlutterDesktopBinaryReply reply = nullptr;
  void* user_data = nullptr;
};

constexpr UINT kDefaultReplyTimeoutMs = 30000;

// The script's progress: which line is next and what the engine waits for.
struct ScriptRun {
  std::vector<std::string> lines;
  std::size_t next = 0;
  bool present = false;  // false: no script, the window stays until the user closes it
  bool started = false;  // after the first frame
  bool busy = false;     // a send or a sleep is in flight
  bool finished = false;
  UINT reply_timeout_ms = kDefaultReplyTimeoutMs;
  // The exchange in flight.
  std::string channel;
  Bytes request;
  const FlutterDesktopMessageResponseHandle* awaited = nullptr;
};

// Messages of the engine's own window.
enum EngineMessage : UINT {
  kDeliver = WM_APP + 1,  // hand the current request to its channel handler
  kReplied,               // lparam: the response handle that was answered
  kFrame,                 // draw a frame
  kStep,                  // run the script on
  kUiReply,               // answer one message that native code sent to the UI
};
constexpr UINT_PTR kSleepTimer = 1;
constexpr UINT_PTR kReplyTimer = 2;  // a send that got no reply in time

}  // namespace morl_standin

struct FlutterDesktopEngine {
  FlutterDesktopMessenger* messenger = nullptr;  // holds one reference
  HWND window = nullptr;                         // message-only; see EngineMessage
  FlutterDesktopViewController* controller = nullptr;
  // Guarded by messenger->mutex.
  std::map<std::string, morl_standin::ChannelHandler> handlers;
  std::map<const FlutterDesktopMessageResponseHandle*,
           std::unique_ptr<FlutterDesktopMessageResponseHandle>>
      handles;
  std::map<std::string, std::unique_ptr<FlutterDesktopPluginRegistrar>> registrars;
  FlutterDesktopOnNextFrameCallback next_frame = nullptr;
  void* next_frame_data = nullptr;
  std::deque<morl_standin::UiReply> ui_replies;
  int font_reloads = 0;
  int frames = 0;
  morl_standin::Transcript transcript;
  morl_standin::ScriptRun script;
};

namespace morl_standin {

// The engine's window procedure (engine_window.cc) and the view's.
LRESULT EngineWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT ViewWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
extern const wchar_t kEngineWindowClass[];
extern const wchar_t kViewWindowClass[];

// Reads the script named by the arguments and opens the transcript.
void ConfigureFromArguments(FlutterDesktopEngine& engine, const std::vector<std::string>& args,
                            const std::string& assets_path);

// Ends the engine: unavailable to its messenger, window destroyed, messages
// that native code sent answered empty, messenger reference dropped.
void ShutDownEngine(FlutterDesktopEngine* engine);

// Writes a one-line diagnostic to stderr.
void Diagnostic(const std::string& text);

}  // namespace morl_standin
