// MethodCallChannel: a named channel whose messages are method calls. Each
// incoming message is decoded with the channel's codec and handed, with the
// EngineMethodResult that answers it, to the channel's CallHandler.
#ifndef MORL_MESSAGING_METHOD_CALL_CHANNEL_H_
#define MORL_MESSAGING_METHOD_CALL_CHANNEL_H_

#include <functional>
#include <memory>
#include <string>

#include "messaging/binary_messenger.h"
#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/method_codec.h"
#include "messaging/method_result.h"

namespace flutter {

using CallHandler = std::function<void(const MethodCall<EncodableValue>& call,
                                       std::unique_ptr<MethodResult<EncodableValue>> result)>;

class MethodCallChannel {
 public:
  // `messenger` and `codec` are not owned; both must outlive the channel's
  // registration. Nothing is sent to the engine here.
  MethodCallChannel(BinaryMessenger* messenger, const std::string& name,
                    const MethodCodec<EncodableValue>* codec)
      : messenger_(messenger), name_(name), codec_(codec) {}
  MethodCallChannel(const MethodCallChannel&) = delete;
  MethodCallChannel& operator=(const MethodCallChannel&) = delete;

  // Installs (or, when empty, removes) the handler of the channel's calls.
  void InstallCallHandler(CallHandler handler) const;

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec<EncodableValue>* codec_;
};

}  // namespace flutter

#endif  // MORL_MESSAGING_METHOD_CALL_CHANNEL_H_
