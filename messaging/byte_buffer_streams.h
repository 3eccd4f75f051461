// In-memory byte streams: a reader over a caller-owned message and a writer
// that appends to a caller-owned vector (which starts empty, so alignment is
// counted from the message's first byte).
#ifndef MORL_MESSAGING_BYTE_BUFFER_STREAMS_H_
#define MORL_MESSAGING_BYTE_BUFFER_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "messaging/byte_streams.h"

namespace flutter {

// A read that would pass the end prints "Invalid read in
// StandardCodecByteStreamReader", copies nothing and does not move.
// SkipToAlignment has no bounds test; the read after it reports the overrun.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  // The message must outlive the reader.
  ByteBufferStreamReader(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

  // Defined here so the decoder, when it knows it holds exactly this reader,
  // can call them non-virtually and have them inlined.
  uint8_t NextByte() override {
    if (location_ >= size_) {
      ReportInvalidRead();
      return 0;
    }
    return bytes_[location_++];
  }
  void NextBytes(uint8_t* buffer, size_t length) override {
    const uint8_t* bytes = Take(length);
    if (bytes != nullptr && length > 0) std::memcpy(buffer, bytes, length);
  }
  void SkipToAlignment(uint8_t alignment) override {
    if (alignment == 0) return;
    uint64_t remainder = location_ % alignment;
    if (remainder != 0) location_ += alignment - remainder;
  }
  size_t RemainingBytes() const override {
    return location_ < size_ ? static_cast<size_t>(size_ - location_) : 0;
  }

  // The next `length` bytes in place, moving past them; nullptr (after the
  // diagnostic, without moving) when they are not all there.
  const uint8_t* Take(size_t length) {
    // Written so that neither side can overflow: location may already be past
    // the end after an alignment skip, and length comes from the message.
    if (location_ > size_ || length > size_ - location_) {
      ReportInvalidRead();
      return nullptr;
    }
    const uint8_t* at = bytes_ + location_;
    location_ += length;
    return at;
  }

 private:
  static void ReportInvalidRead();

  const uint8_t* bytes_;
  uint64_t size_;
  uint64_t location_ = 0;
};

class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  // The buffer must outlive the writer.
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer);

  // Defined here so the encoder, when it knows it holds exactly this writer,
  // can call them non-virtually and have them inlined.
  void PutByte(uint8_t byte) override { buffer_->push_back(byte); }
  void PutBytes(const uint8_t* bytes, size_t length) override {
    if (length == 0) return;
    buffer_->insert(buffer_->end(), bytes, bytes + length);
  }
  void PadToAlignment(uint8_t alignment) override {
    if (alignment == 0) return;
    size_t remainder = buffer_->size() % alignment;
    if (remainder == 0) return;
    buffer_->insert(buffer_->end(), alignment - remainder, uint8_t{0});
  }

  // The array the output is appended to, for an encoder that writes into it
  // directly.
  std::vector<uint8_t>* buffer() const { return buffer_; }

 private:
  std::vector<uint8_t>* buffer_;
};

}  // namespace flutter

#endif  // MORL_MESSAGING_BYTE_BUFFER_STREAMS_H_
