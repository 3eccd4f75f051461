// The byte streams the standard codec reads values from and writes them to.
//
// Readers never fail loudly: a read past the end reports one diagnostic line
// and yields zeros, and decoding goes on. Alignment is counted from the first
// byte of the message.
#ifndef MORL_MESSAGING_BYTE_STREAMS_H_
#define MORL_MESSAGING_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <limits>

namespace flutter {

class ByteStreamReader {
 public:
  // RemainingBytes() of a stream that cannot tell how much is left.
  static constexpr size_t kRemainingUnknown = std::numeric_limits<size_t>::max();

  virtual ~ByteStreamReader() = default;
  virtual uint8_t NextByte() = 0;
  virtual void NextBytes(uint8_t* buffer, size_t length) = 0;
  // Moves forward to the next multiple of alignment (1 to 255).
  virtual void SkipToAlignment(uint8_t alignment) = 0;
  // How many unread bytes the message still holds. The decoder refuses
  // declared sizes the rest of the message cannot carry, before allocating.
  virtual size_t RemainingBytes() const { return kRemainingUnknown; }
};

class ByteStreamWriter {
 public:
  virtual ~ByteStreamWriter() = default;
  virtual void PutByte(uint8_t byte) = 0;
  virtual void PutBytes(const uint8_t* bytes, size_t length) = 0;
  // Writes zero bytes until the output length is a multiple of alignment.
  virtual void PadToAlignment(uint8_t alignment) = 0;
};

}  // namespace flutter

#endif  // MORL_MESSAGING_BYTE_STREAMS_H_
