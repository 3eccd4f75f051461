// EngineMethodResult: the MethodResult of one incoming method call. Encodes
// the answer with the channel's codec and sends it through the message's
// one-shot reply; "not implemented" is the empty reply.
#ifndef MORL_MESSAGING_ENGINE_METHOD_RESULT_H_
#define MORL_MESSAGING_ENGINE_METHOD_RESULT_H_

#include <string>
#include <utility>

#include "messaging/encodable_value.h"
#include "messaging/method_codec.h"
#include "messaging/method_result.h"
#include "messaging/one_shot_reply.h"
#include "messaging/reply_sink.h"

namespace flutter {

template <typename T = EncodableValue>
class EngineMethodResult : public MethodResult<T> {
 public:
  // codec is not owned and must outlive the result.
  EngineMethodResult(ReplySink reply, const MethodCodec<T>* codec)
      : reply_manager_(std::move(reply)), codec_(codec) {}
  ~EngineMethodResult() override = default;

  using MethodResult<T>::Success;
  using MethodResult<T>::Error;

  // The answer is encoded even when it is a duplicate, then dropped.
  void Success(const T* result) override {
    reply_manager_.SendReplyBytes(codec_->EncodeSuccessReply(result));
  }
  void Error(const std::string& code, const std::string& message, const T* details) override {
    reply_manager_.SendReplyBytes(codec_->EncodeErrorReply(code, message, details));
  }
  void NotImplemented() override { reply_manager_.SendReplyBytes(nullptr); }

 private:
  OneShotReply reply_manager_;
  const MethodCodec<T>* codec_;
};

}  // namespace flutter

#endif  // MORL_MESSAGING_ENGINE_METHOD_RESULT_H_
