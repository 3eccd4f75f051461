// Encoding of values in the standard message format (the writing half of
// StandardCodecSerializer).
//
// A value written by the standard serializer itself into an in-memory array
// is written into the array directly, grown ahead a step at a time.
// Any other stream, or a derived serializer (whose nested values may take any
// form), is written field by field through the stream's virtual calls.
#ifndef MORL_MESSAGING_STANDARD_CODEC_WRITER_H_
#define MORL_MESSAGING_STANDARD_CODEC_WRITER_H_

#include <cstddef>

#include "messaging/byte_streams.h"
#include "messaging/encodable_value.h"

namespace flutter {

class StandardCodecSerializer;

namespace internal {

// Writes the tag and payload of `value`; nested values go through
// serializer.WriteValue unless the serializer is exactly the standard one.
void WriteStandardValue(const StandardCodecSerializer& serializer, const EncodableValue& value,
                        ByteStreamWriter* stream);

void WriteStandardLength(size_t size, ByteStreamWriter* stream);

}  // namespace internal
}  // namespace flutter

#endif  // MORL_MESSAGING_STANDARD_CODEC_WRITER_H_
