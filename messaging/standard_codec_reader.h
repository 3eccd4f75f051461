// Decoding of values in the standard message format (the reading half of
// StandardCodecSerializer), with the limits that keep untrusted messages
// harmless: declared sizes the rest of the message cannot carry and nesting
// deeper than StandardCodecSerializer::kMaxNestingDepth read as null.
#ifndef MORL_MESSAGING_STANDARD_CODEC_READER_H_
#define MORL_MESSAGING_STANDARD_CODEC_READER_H_

#include <cstddef>
#include <cstdint>

#include "messaging/byte_streams.h"
#include "messaging/encodable_value.h"

namespace flutter {

class StandardCodecSerializer;

namespace internal {

// Reads the payload of a value whose tag has been read; nested values go
// through serializer.ReadValueOfType unless the serializer is exactly the
// standard one.
EncodableValue ReadStandardValue(const StandardCodecSerializer& serializer, uint8_t type,
                                 ByteStreamReader* stream);

size_t ReadStandardLength(ByteStreamReader* stream);

}  // namespace internal
}  // namespace flutter

#endif  // MORL_MESSAGING_STANDARD_CODEC_READER_H_
