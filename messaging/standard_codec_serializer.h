// StandardCodecSerializer: writes EncodableValues in the standard message
// format and reads them back.
//
// Wire format: one tag byte, then the payload; numbers little-endian.
//   0 null  1 true  2 false  3 int32 (4)  4 int64 (8)  6 double (pad 8, 8)
//   5/7 string (size, bytes)  8 uint8 list (size, bytes)
//   9 int32 list, 14 float32 list (size, pad 4, count x 4)
//   10 int64 list, 11 double list (size, pad 8, count x 8)
//   12 list (size, values)  13 map (size, key value pairs in key order)
// The padding of a typed list is written and skipped for empty lists too.
// Sizes: 0..253 in one byte; 254 then uint16; 255
// then uint32.
//
// Reading untrusted bytes never throws and never allocates more than the rest
// of the message can carry: an unknown tag, a declared size that cannot fit in
// the bytes left, or nesting of lists and maps deeper than kMaxNestingDepth
// each print one diagnostic line and read as null. Short reads yield zeros.
//
// WriteValue and ReadValueOfType are virtual so a derived serializer can add
// tags; nested elements go through them too.
#ifndef MORL_MESSAGING_STANDARD_CODEC_SERIALIZER_H_
#define MORL_MESSAGING_STANDARD_CODEC_SERIALIZER_H_

#include <cstddef>
#include <cstdint>

#include "messaging/byte_streams.h"
#include "messaging/encodable_value.h"

namespace flutter {

class StandardCodecSerializer {
 public:
  // Lists and maps nested deeper than this are refused when reading, so a
  // hostile message cannot exhaust the stack.
  static constexpr int kMaxNestingDepth = 256;

  StandardCodecSerializer() = default;
  virtual ~StandardCodecSerializer() = default;
  StandardCodecSerializer(const StandardCodecSerializer&) = delete;
  StandardCodecSerializer& operator=(const StandardCodecSerializer&) = delete;

  // The process-wide instance, created on first use.
  static const StandardCodecSerializer& SharedInstance();

  virtual void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const;
  // Reads the payload of a value whose tag has already been read.
  virtual EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const;

  // Reads the tag, then the payload.
  EncodableValue ReadTaggedValue(ByteStreamReader* stream) const;

  void WriteLength(size_t size, ByteStreamWriter* stream) const;
  size_t ReadLength(ByteStreamReader* stream) const;
};

}  // namespace flutter

#endif  // MORL_MESSAGING_STANDARD_CODEC_SERIALIZER_H_
