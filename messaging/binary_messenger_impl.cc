#include "messaging/binary_messenger_impl.h"

#include <exception>
#include <memory>
#include <utility>

#include "messaging/diagnostic.h"

namespace flutter {
namespace {

// A counted reference to the embedding's messenger, shared by every copy of
// one message's reply; released when the last copy goes away, on any thread.
using SharedMessenger = std::shared_ptr<FlutterDesktopMessenger>;

SharedMessenger ShareMessenger(FlutterDesktopMessengerRef messenger) {
  return SharedMessenger(FlutterDesktopMessengerAddRef(messenger),
                         [](FlutterDesktopMessengerRef m) { FlutterDesktopMessengerRelease(m); });
}

// The reply of one incoming message. Copies share the response handle, so
// the message is answered at most once whichever copy answers.
class MessageReply {
 public:
  MessageReply(SharedMessenger messenger, const FlutterDesktopMessageResponseHandle* handle)
      : state_(std::make_shared<State>(State{std::move(messenger), handle})) {}

  void operator()(const uint8_t* reply, size_t reply_size) const {
    FlutterDesktopMessengerRef messenger = state_->messenger.get();
    FlutterDesktopMessengerRef locked = FlutterDesktopMessengerLock(messenger);
    if (FlutterDesktopMessengerIsAvailable(messenger)) {
      if (state_->handle == nullptr) {
        WriteDiagnosticLine("Error: Response can be set only once. Ignoring duplicate response.");
      } else {
        FlutterDesktopMessengerSendResponse(messenger, state_->handle, reply, reply_size);
        state_->handle = nullptr;
      }
    }
    if (locked != nullptr) FlutterDesktopMessengerUnlock(locked);
  }

 private:
  struct State {
    SharedMessenger messenger;
    // Cleared once used; read and written only under the messenger lock.
    const FlutterDesktopMessageResponseHandle* handle;
  };
  std::shared_ptr<State> state_;
};

// Called by the engine on the platform thread for every message on a channel
// with a handler. Nothing may unwind into the engine.
void DeliverIncoming(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
                     void* user_data) {
  try {
    const auto* handler = static_cast<const ChannelHandler*>(user_data);
    SharedMessenger shared = ShareMessenger(messenger);
    ReplySink reply = MessageReply(shared, message->response_handle);
    shared.reset();
    (*handler)(message->message, message->message_size, std::move(reply));
  } catch (const std::exception& e) {
    WriteDiagnosticLine(std::string("Exception in channel message handler: ") + e.what());
  } catch (...) {
    WriteDiagnosticLine("Exception in channel message handler: unknown exception");
  }
}

// Called by the engine once with the answer to a message sent with a reply.
void ReplyThunk(const uint8_t* data, size_t data_size, void* user_data) {
  std::unique_ptr<ReplySink> reply(static_cast<ReplySink*>(user_data));
  try {
    (*reply)(data, data_size);
  } catch (const std::exception& e) {
    WriteDiagnosticLine(std::string("Exception in channel reply handler: ") + e.what());
  } catch (...) {
    WriteDiagnosticLine("Exception in channel reply handler: unknown exception");
  }
}

}  // namespace

BinaryMessengerImpl::BinaryMessengerImpl(FlutterDesktopMessengerRef messenger)
    : messenger_(messenger) {}

BinaryMessengerImpl::~BinaryMessengerImpl() = default;

void BinaryMessengerImpl::Send(const std::string& channel, const uint8_t* message,
                               size_t message_size, ReplySink reply) const {
  if (!reply) {
    FlutterDesktopMessengerSend(messenger_, channel.c_str(), message, message_size);
    return;
  }
  auto held = std::make_unique<ReplySink>(std::move(reply));
  if (FlutterDesktopMessengerSendWithReply(messenger_, channel.c_str(), message, message_size,
                                           ReplyThunk, held.get())) {
    held.release();  // the engine calls ReplyThunk exactly once, which frees it
  }
}

void BinaryMessengerImpl::InstallMessageHandler(const std::string& channel,
                                                ChannelHandler handler) {
  if (!handler) {
    handlers_.erase(channel);
    FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), nullptr, nullptr);
    return;
  }
  ChannelHandler& stored = handlers_[channel];
  stored = std::move(handler);
  FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), DeliverIncoming, &stored);
}

}  // namespace flutter
