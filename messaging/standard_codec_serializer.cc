#include "messaging/standard_codec_serializer.h"

#include "messaging/standard_codec_reader.h"
#include "messaging/standard_codec_writer.h"

namespace flutter {

const StandardCodecSerializer& StandardCodecSerializer::SharedInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

EncodableValue StandardCodecSerializer::ReadTaggedValue(ByteStreamReader* stream) const {
  return ReadValueOfType(stream->NextByte(), stream);
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  internal::WriteStandardValue(*this, value, stream);
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  return internal::ReadStandardValue(*this, type, stream);
}

void StandardCodecSerializer::WriteLength(size_t size, ByteStreamWriter* stream) const {
  internal::WriteStandardLength(size, stream);
}

size_t StandardCodecSerializer::ReadLength(ByteStreamReader* stream) const {
  return internal::ReadStandardLength(stream);
}

}  // namespace flutter
