// The engine's platform-thread work, driven through its message-only window:
// delivering the UI script's messages to channel handlers, frames and the
// next-frame callback, sleeps, and closing the top-level window.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine_state.h"

namespace morl_standin {

const wchar_t kEngineWindowClass[] = L"MorlStandInEngine";
const wchar_t kViewWindowClass[] = L"MorlStandInView";

namespace {

constexpr char kDemoScript[] = "/demo.uiscript";

bool ReadLines(const std::string& path, std::vector<std::string>* lines) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  if (!in) return false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines->push_back(std::move(line));
  }
  return true;
}

// A user closing the window: WM_CLOSE to the view's top-level window.
void CloseTopLevel(FlutterDesktopEngine& engine) {
  const HWND view = engine.controller == nullptr ? nullptr : engine.controller->view.hwnd;
  const HWND top = view == nullptr ? nullptr : GetAncestor(view, GA_ROOT);
  if (top == nullptr || top == engine.window) {
    Diagnostic("stand-in engine: the view has no top-level window to close");
    return;
  }
  PostMessageW(top, WM_CLOSE, 0, 0);
}

// Ends the exchange in flight; without `reply` it timed out, and a reply
// arriving later is ignored.
void FinishExchange(FlutterDesktopEngine& engine, const Bytes* reply) {
  ScriptRun& s = engine.script;
  KillTimer(engine.window, kReplyTimer);
  engine.transcript.Write(
      Json::object({{"channel", s.channel},
                    {"request", Hex(s.request)},
                    {"reply", reply ? Json(Hex(*reply)) : Json(nullptr)},
                    {"decoded", reply ? DecodeReply(*reply) : Json("no_reply")}}));
  s.awaited = nullptr;
  s.busy = false;
  PostMessageW(engine.window, kStep, 0, 0);
}

void RunScript(FlutterDesktopEngine& engine) {
  ScriptRun& s = engine.script;
  if (!s.present || s.finished || s.busy) return;
  while (s.next < s.lines.size()) {
    const std::size_t number = ++s.next;
    ScriptStep step = ParseScriptLine(s.lines[number - 1]);
    switch (step.kind) {
      case ScriptStep::Kind::kSkip:
        continue;
      case ScriptStep::Kind::kInvalid: {
        const std::string text = "line " + std::to_string(number) + ": " + step.error;
        engine.transcript.Write(Json::object({{"script_error", text}}));
        Diagnostic("UI script " + text);
        continue;
      }
      case ScriptStep::Kind::kSend:
        s.channel = std::move(step.channel);
        s.request = std::move(step.message);
        s.busy = true;
        PostMessageW(engine.window, kDeliver, 0, 0);
        SetTimer(engine.window, kReplyTimer, s.reply_timeout_ms, nullptr);
        return;
      case ScriptStep::Kind::kSleep:
        s.busy = true;
        SetTimer(engine.window, kSleepTimer, step.sleep_ms, nullptr);
        return;
      case ScriptStep::Kind::kClose:
        s.finished = true;
        CloseTopLevel(engine);
        return;
    }
  }
  s.finished = true;
  CloseTopLevel(engine);
}

// Hands the current request to its channel's handler. Nothing of the engine
// is touched after the handler ran: it may have ended the engine.
void Deliver(FlutterDesktopEngine& engine) {
  ScriptRun& s = engine.script;
  ChannelHandler handler;
  {
    std::lock_guard<std::recursive_mutex> lock(engine.messenger->mutex);
    auto it = engine.handlers.find(s.channel);
    if (it != engine.handlers.end()) {
      handler = it->second;
      auto handle = std::make_unique<FlutterDesktopMessageResponseHandle>();
      s.awaited = handle.get();
      engine.handles.emplace(handle.get(), std::move(handle));
    }
  }
  if (handler.callback == nullptr) {
    const Bytes empty;
    FinishExchange(engine, &empty);  // no handler: the empty not-implemented reply
    return;
  }
  const FlutterDesktopMessage message{sizeof(FlutterDesktopMessage), s.channel.c_str(),
                                      s.request.data(), s.request.size(), s.awaited};
  handler.callback(engine.messenger, &message, handler.user_data);
}

void OnReplied(FlutterDesktopEngine& engine, const FlutterDesktopMessageResponseHandle* handle) {
  Bytes reply;
  {
    std::lock_guard<std::recursive_mutex> lock(engine.messenger->mutex);
    auto it = engine.handles.find(handle);
    if (it == engine.handles.end() || handle != engine.script.awaited) return;
    // The spent handle stays allocated so that a later response to it is
    // recognised and refused, not mistaken for a new message's.
    reply.swap(it->second->reply);
  }
  FinishExchange(engine, &reply);
}

void DrawFrame(FlutterDesktopEngine& engine) {
  ++engine.frames;
  if (!engine.script.started) {
    engine.script.started = true;
    PostMessageW(engine.window, kStep, 0, 0);
  }
  const FlutterDesktopOnNextFrameCallback callback = engine.next_frame;
  void* const data = engine.next_frame_data;
  engine.next_frame = nullptr;
  if (callback != nullptr) callback(data);
}

void AnswerUi(FlutterDesktopEngine& engine) {
  UiReply pending;
  {
    std::lock_guard<std::recursive_mutex> lock(engine.messenger->mutex);
    if (engine.ui_replies.empty()) return;
    pending = engine.ui_replies.front();
    engine.ui_replies.pop_front();
  }
  pending.reply(nullptr, 0, pending.user_data);
}

}  // namespace

void ConfigureFromArguments(FlutterDesktopEngine& engine, const std::vector<std::string>& args,
                            const std::string& assets_path) {
  std::string script_path;
  std::string transcript_path;
  for (const std::string& arg : args) {
    if (arg.rfind("--ui-script=", 0) == 0) script_path = arg.substr(12);
    if (arg.rfind("--transcript=", 0) == 0) transcript_path = arg.substr(13);
    if (arg.rfind("--reply-timeout-ms=", 0) == 0)
      engine.script.reply_timeout_ms =
          static_cast<UINT>(std::strtoul(arg.c_str() + 19, nullptr, 10));
  }
  if (!transcript_path.empty() && !engine.transcript.OpenFile(transcript_path))
    Diagnostic("stand-in engine: cannot create transcript " + transcript_path +
               "; writing to stdout");
  ScriptRun& s = engine.script;
  if (!script_path.empty()) {
    s.present = true;
    if (!ReadLines(script_path, &s.lines)) {
      // Nothing to run: the window closes after its first frame.
      engine.transcript.Write(Json::object({{"script_error", "cannot read " + script_path}}));
      Diagnostic("stand-in engine: cannot read UI script " + script_path);
    }
    return;
  }
  // Without a script argument the bundle's demo script runs; without one
  // either, the window stays open until the user closes it.
  std::string demo = assets_path + kDemoScript;
  std::replace(demo.begin(), demo.end(), '\\', '/');
  s.present = ReadLines(demo, &s.lines);
}

LRESULT EngineWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return TRUE;
  }
  auto* engine = reinterpret_cast<FlutterDesktopEngine*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (engine == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  try {
    switch (message) {
      case kDeliver:
        Deliver(*engine);
        return 0;
      case kReplied:
        OnReplied(*engine, reinterpret_cast<const FlutterDesktopMessageResponseHandle*>(lparam));
        return 0;
      case kFrame:
        DrawFrame(*engine);
        return 0;
      case kStep:
        RunScript(*engine);
        return 0;
      case kUiReply:
        AnswerUi(*engine);
        return 0;
      case WM_TIMER:
        if (wparam == kSleepTimer) {
          KillTimer(hwnd, kSleepTimer);
          engine->script.busy = false;
          RunScript(*engine);
        } else if (wparam == kReplyTimer && engine->script.busy) {
          FinishExchange(*engine, nullptr);
        }
        return 0;
      case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        break;
      default:
        break;
    }
  } catch (const std::exception& e) {
    Diagnostic(std::string("stand-in engine: ") + e.what());
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT ViewWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (message == WM_NCDESTROY) {
    if (auto* view = reinterpret_cast<FlutterDesktopView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
      view->hwnd = nullptr;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace morl_standin
