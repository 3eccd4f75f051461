#include "messaging/method_call_channel.h"

#include <utility>

#include "messaging/diagnostic.h"
#include "messaging/engine_method_result.h"

namespace flutter {

void MethodCallChannel::InstallCallHandler(CallHandler handler) const {
  if (!handler) {
    messenger_->InstallMessageHandler(name_, nullptr);
    return;
  }
  const MethodCodec<EncodableValue>* codec = codec_;
  std::string name = name_;
  messenger_->InstallMessageHandler(
      name_, [handler = std::move(handler), codec, name](const uint8_t* message,
                                                         size_t message_size, ReplySink reply) {
        auto result = std::make_unique<EngineMethodResult<EncodableValue>>(std::move(reply), codec);
        std::unique_ptr<MethodCall<EncodableValue>> call = codec->DecodeCall(message, message_size);
        if (!call) {
          WriteDiagnosticLine("Unable to construct method call from message on channel " + name);
          result->NotImplemented();
          return;
        }
        handler(*call, std::move(result));
      });
}

}  // namespace flutter
