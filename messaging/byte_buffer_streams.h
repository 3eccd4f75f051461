// In-memory byte streams: a reader over a caller-owned message and a writer
// that appends to a caller-owned vector (which starts empty, so alignment is
// counted from the message's first byte).
#ifndef MORL_MESSAGING_BYTE_BUFFER_STREAMS_H_
#define MORL_MESSAGING_BYTE_BUFFER_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "messaging/byte_streams.h"

namespace flutter {

// A read that would pass the end prints "Invalid read in
// StandardCodecByteStreamReader", copies nothing and does not move.
// SkipToAlignment has no bounds test; the read after it reports the overrun.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  // The message must outlive the reader.
  ByteBufferStreamReader(const uint8_t* bytes, size_t size);

  uint8_t NextByte() override;
  void NextBytes(uint8_t* buffer, size_t length) override;
  void SkipToAlignment(uint8_t alignment) override;
  size_t RemainingBytes() const override;

 private:
  const uint8_t* bytes_;
  uint64_t size_;
  uint64_t location_ = 0;
};

class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  // The buffer must outlive the writer.
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer);

  void PutByte(uint8_t byte) override { buffer_->push_back(byte); }
  void PutBytes(const uint8_t* bytes, size_t length) override;
  void PadToAlignment(uint8_t alignment) override;

 private:
  std::vector<uint8_t>* buffer_;
};

}  // namespace flutter

#endif  // MORL_MESSAGING_BYTE_BUFFER_STREAMS_H_
