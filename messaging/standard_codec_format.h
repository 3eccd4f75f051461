// The standard message format's type tags and size form, shared by the
// reader and the writer.
#ifndef MORL_MESSAGING_STANDARD_CODEC_FORMAT_H_
#define MORL_MESSAGING_STANDARD_CODEC_FORMAT_H_

#include <cstddef>
#include <cstdint>

namespace flutter::internal {

enum StandardCodecTag : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLegacyString = 5,
  kDouble = 6,
  kString = 7,
  kUInt8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kDoubleList = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

// Size form: a size below kTwoByteSize is one byte; up to 0xFFFF it is
// kTwoByteSize and a uint16; above, kFourByteSize and the low 32 bits.
constexpr uint8_t kTwoByteSize = 254;
constexpr uint8_t kFourByteSize = 255;

// The first multiple of `alignment` at or after `offset`.
constexpr size_t AlignUp(size_t offset, size_t alignment) {
  return (offset + alignment - 1) / alignment * alignment;
}

}  // namespace flutter::internal

#endif  // MORL_MESSAGING_STANDARD_CODEC_FORMAT_H_
