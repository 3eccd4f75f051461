#include "messaging/standard_method_codec.h"

#include <map>
#include <mutex>
#include <utility>

#include "messaging/byte_buffer_streams.h"
#include "messaging/diagnostic.h"

namespace flutter {

const StandardMethodCodec& StandardMethodCodec::SharedInstance(
    const StandardCodecSerializer* serializer) {
  if (serializer == nullptr) serializer = &StandardCodecSerializer::SharedInstance();
  static std::mutex mutex;
  static auto* codecs =
      new std::map<const StandardCodecSerializer*, std::unique_ptr<StandardMethodCodec>>();
  std::lock_guard<std::mutex> lock(mutex);
  auto& codec = (*codecs)[serializer];
  if (!codec) codec = std::make_unique<StandardMethodCodec>(serializer);
  return *codec;
}

std::unique_ptr<MethodCall<EncodableValue>> StandardMethodCodec::DecodeCall(
    const uint8_t* message, size_t message_size) const {
  ByteBufferStreamReader stream(message, message_size);
  EncodableValue name = serializer_->ReadTaggedValue(&stream);
  const auto* name_string = std::get_if<std::string>(&name);
  if (name_string == nullptr) {
    WriteDiagnosticLine("Invalid method call; method name is not a string.");
    return nullptr;
  }
  auto arguments = std::make_unique<EncodableValue>(serializer_->ReadTaggedValue(&stream));
  return std::make_unique<MethodCall<EncodableValue>>(*name_string, std::move(arguments));
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeCall(
    const MethodCall<EncodableValue>& call) const {
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(bytes.get());
  serializer_->WriteValue(EncodableValue(call.method_name()), &stream);
  serializer_->WriteValue(call.arguments() ? *call.arguments() : EncodableValue(), &stream);
  return bytes;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeSuccessReply(
    const EncodableValue* result) const {
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(bytes.get());
  stream.PutByte(0);
  serializer_->WriteValue(result ? *result : EncodableValue(), &stream);
  return bytes;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeErrorReply(
    const std::string& code, const std::string& message, const EncodableValue* details) const {
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(bytes.get());
  stream.PutByte(1);
  serializer_->WriteValue(EncodableValue(code), &stream);
  serializer_->WriteValue(message.empty() ? EncodableValue() : EncodableValue(message), &stream);
  serializer_->WriteValue(details ? *details : EncodableValue(), &stream);
  return bytes;
}

bool StandardMethodCodec::DecodeReply(const uint8_t* reply, size_t reply_size,
                                      MethodResult<EncodableValue>* result) const {
  ByteBufferStreamReader stream(reply, reply_size);
  uint8_t envelope = stream.NextByte();
  if (envelope == 0) {
    EncodableValue value = serializer_->ReadTaggedValue(&stream);
    result->Success(value.index() == 0 ? nullptr : &value);
    return true;
  }
  if (envelope != 1) return false;

  EncodableValue code = serializer_->ReadTaggedValue(&stream);
  EncodableValue message = serializer_->ReadTaggedValue(&stream);
  EncodableValue details = serializer_->ReadTaggedValue(&stream);
  const auto* code_string = std::get_if<std::string>(&code);
  if (code_string == nullptr) {
    WriteDiagnosticLine("Invalid error reply; error code is not a string.");
    return false;
  }
  const auto* message_string = std::get_if<std::string>(&message);
  if (message_string == nullptr && message.index() != 0) {
    WriteDiagnosticLine("Invalid error reply; error message is neither a string nor null.");
    return false;
  }
  result->Error(*code_string, message_string ? *message_string : std::string(),
                details.index() == 0 ? nullptr : &details);
  return true;
}

}  // namespace flutter
