// Feeds arbitrary bytes to every decoder that sees incoming channel messages:
// the method call decoder, the reply envelope decoder and the value reader.
// Beyond "no crash, no undefined behaviour, no leak", it checks that what a
// message decodes to survives an encode/decode round trip unchanged.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "messaging/byte_buffer_streams.h"
#include "messaging/standard_codec_serializer.h"
#include "messaging/standard_method_codec.h"

namespace {

using flutter::EncodableValue;

class DiscardingResult : public flutter::MethodResult<EncodableValue> {
 public:
  using flutter::MethodResult<EncodableValue>::Success;
  using flutter::MethodResult<EncodableValue>::Error;
  void Success(const EncodableValue*) override {}
  void Error(const std::string&, const std::string&, const EncodableValue*) override {}
  void NotImplemented() override {}
};

bool HasNaN(const EncodableValue& value) {
  if (const auto* d = std::get_if<double>(&value)) return std::isnan(*d);
  if (const auto* list = std::get_if<std::vector<double>>(&value)) {
    for (double d : *list) {
      if (std::isnan(d)) return true;
    }
  }
  if (const auto* list = std::get_if<std::vector<float>>(&value)) {
    for (float f : *list) {
      if (std::isnan(f)) return true;
    }
  }
  if (const auto* list = std::get_if<flutter::ValueList>(&value)) {
    for (const auto& element : *list) {
      if (HasNaN(element)) return true;
    }
  }
  if (const auto* map = std::get_if<flutter::ValueMap>(&value)) {
    for (const auto& entry : *map) {
      if (HasNaN(entry.first) || HasNaN(entry.second)) return true;
    }
  }
  return false;
}

std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  flutter::StandardCodecSerializer::SharedInstance().WriteValue(value, &writer);
  return bytes;
}

EncodableValue Decode(const uint8_t* data, size_t size) {
  flutter::ByteBufferStreamReader reader(data, size);
  return flutter::StandardCodecSerializer::SharedInstance().ReadTaggedValue(&reader);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto& codec = flutter::StandardMethodCodec::SharedInstance();
  codec.DecodeCall(data, size);
  DiscardingResult result;
  codec.DecodeReply(data, size, &result);

  EncodableValue value = Decode(data, size);
  // NaN breaks the key order of maps, so values holding one may legitimately
  // lose entries when re-read; everything else must round-trip exactly.
  if (HasNaN(value)) return 0;
  std::vector<uint8_t> first = Encode(value);
  std::vector<uint8_t> second = Encode(Decode(first.data(), first.size()));
  if (first != second) std::abort();
  return 0;
}
