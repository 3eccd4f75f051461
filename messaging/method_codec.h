// MethodCodec: turns method calls and their replies into bytes and back.
// Encoded messages are owned byte arrays; decoding untrusted bytes reports
// problems as diagnostics and return values, never as exceptions.
#ifndef MORL_MESSAGING_METHOD_CODEC_H_
#define MORL_MESSAGING_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/method_result.h"

namespace flutter {

template <typename T = EncodableValue>
class MethodCodec {
 public:
  MethodCodec() = default;
  virtual ~MethodCodec() = default;
  MethodCodec(const MethodCodec&) = delete;
  MethodCodec& operator=(const MethodCodec&) = delete;

  // Null when the bytes are not a method call.
  virtual std::unique_ptr<MethodCall<T>> DecodeCall(const uint8_t* message,
                                                    size_t message_size) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeCall(const MethodCall<T>& call) const = 0;
  // result may be null.
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeSuccessReply(const T* result) const = 0;
  // An empty message and null details are encoded as absent.
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeErrorReply(const std::string& code,
                                                                 const std::string& message,
                                                                 const T* details) const = 0;
  // Answers result from a reply envelope; false (and nothing called) when the
  // bytes are not a recognised envelope.
  virtual bool DecodeReply(const uint8_t* reply, size_t reply_size,
                           MethodResult<T>* result) const = 0;
};

}  // namespace flutter

#endif  // MORL_MESSAGING_METHOD_CODEC_H_
