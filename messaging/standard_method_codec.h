// StandardMethodCodec: method calls and reply envelopes built from standard
// codec values, each message written into one fresh array so alignment counts
// from its first byte.
//
//   call:    name (string), arguments (null when none)
//   success: 00, result (null when none)
//   error:   01, code (string), message (null when empty), details (null when none)
#ifndef MORL_MESSAGING_STANDARD_METHOD_CODEC_H_
#define MORL_MESSAGING_STANDARD_METHOD_CODEC_H_

#include "messaging/method_codec.h"
#include "messaging/standard_codec_serializer.h"

namespace flutter {

class StandardMethodCodec : public MethodCodec<EncodableValue> {
 public:
  // The codec for serializer (the shared standard serializer when null),
  // created on first request and kept until process exit.
  static const StandardMethodCodec& SharedInstance(
      const StandardCodecSerializer* serializer = nullptr);

  explicit StandardMethodCodec(const StandardCodecSerializer* serializer)
      : serializer_(serializer) {}

  std::unique_ptr<MethodCall<EncodableValue>> DecodeCall(const uint8_t* message,
                                                         size_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeCall(
      const MethodCall<EncodableValue>& call) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessReply(
      const EncodableValue* result) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorReply(
      const std::string& code, const std::string& message,
      const EncodableValue* details) const override;
  bool DecodeReply(const uint8_t* reply, size_t reply_size,
                   MethodResult<EncodableValue>* result) const override;

 private:
  const StandardCodecSerializer* serializer_;
};

}  // namespace flutter

#endif  // MORL_MESSAGING_STANDARD_METHOD_CODEC_H_
