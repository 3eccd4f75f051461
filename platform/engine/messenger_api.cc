// The messenger of the embedding interface. Availability, handlers and
// response handles change only under the messenger's mutex, so a reply from
// any thread that holds the lock sees a consistent engine.
#include "engine_state.h"

using morl_standin::Json;
using Lock = std::lock_guard<std::recursive_mutex>;

namespace {

// Native code talking to the user interface; the scripted UI has no channel
// handlers, so it only records what arrives.
bool RecordToUi(FlutterDesktopMessengerRef messenger, const char* channel, const uint8_t* message,
                size_t message_size) {
  if (messenger->engine == nullptr || channel == nullptr) return false;
  const morl_standin::Bytes bytes(message, message == nullptr ? message : message + message_size);
  messenger->engine->transcript.Write(
      Json::object({{"channel", channel}, {"to_ui", morl_standin::Hex(bytes)}}));
  return true;
}

}  // namespace

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* channel,
                                 const uint8_t* message, size_t message_size) {
  if (messenger == nullptr) return false;
  try {
    Lock lock(messenger->mutex);
    return RecordToUi(messenger, channel, message, message_size);
  } catch (...) {
    return false;
  }
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger, const char* channel,
                                          const uint8_t* message, size_t message_size,
                                          FlutterDesktopBinaryReply reply, void* user_data) {
  if (messenger == nullptr) return false;
  try {
    Lock lock(messenger->mutex);
    if (!RecordToUi(messenger, channel, message, message_size)) return false;
    if (reply == nullptr) return true;
    FlutterDesktopEngine* engine = messenger->engine;
    engine->ui_replies.push_back(morl_standin::UiReply{reply, user_data});
    if (!PostMessageW(engine->window, morl_standin::kUiReply, 0, 0)) {
      engine->ui_replies.pop_back();
      return false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data, size_t data_length) {
  if (messenger == nullptr) return;
  try {
    Lock lock(messenger->mutex);
    FlutterDesktopEngine* engine = messenger->engine;
    if (engine == nullptr) return;  // the engine is gone; nobody waits any more
    auto it = engine->handles.find(handle);
    if (it == engine->handles.end() || it->second->answered) {
      morl_standin::Diagnostic("stand-in engine: refused a second response to one message");
      return;
    }
    it->second->answered = true;
    if (data != nullptr) it->second->reply.assign(data, data + data_length);
    PostMessageW(engine->window, morl_standin::kReplied, 0, reinterpret_cast<LPARAM>(handle));
  } catch (...) {
    morl_standin::Diagnostic("stand-in engine: response lost");
  }
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger, const char* channel,
                                        FlutterDesktopMessageCallback callback, void* user_data) {
  if (messenger == nullptr || channel == nullptr) return;
  try {
    Lock lock(messenger->mutex);
    FlutterDesktopEngine* engine = messenger->engine;
    if (engine == nullptr) return;
    if (callback == nullptr) {
      engine->handlers.erase(channel);
    } else {
      engine->handlers[channel] = morl_standin::ChannelHandler{callback, user_data};
    }
  } catch (...) {
    morl_standin::Diagnostic("stand-in engine: channel handler not set");
  }
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) ++messenger->refs;
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr && --messenger->refs == 0) delete messenger;
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  if (messenger == nullptr) return false;
  Lock lock(messenger->mutex);
  return messenger->engine != nullptr;
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) messenger->mutex.lock();
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) messenger->mutex.unlock();
}
