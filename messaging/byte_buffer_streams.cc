#include "messaging/byte_buffer_streams.h"

#include <cstring>

#include "messaging/diagnostic.h"

namespace flutter {
namespace {

void ReportInvalidRead() { WriteDiagnosticLine("Invalid read in StandardCodecByteStreamReader"); }

}  // namespace

ByteBufferStreamReader::ByteBufferStreamReader(const uint8_t* bytes, size_t size)
    : bytes_(bytes), size_(size) {}

uint8_t ByteBufferStreamReader::NextByte() {
  if (location_ >= size_) {
    ReportInvalidRead();
    return 0;
  }
  return bytes_[location_++];
}

void ByteBufferStreamReader::NextBytes(uint8_t* buffer, size_t length) {
  // Written so that neither side can overflow: location may already be past
  // the end after an alignment skip, and length comes from the message.
  if (location_ > size_ || length > size_ - location_) {
    ReportInvalidRead();
    return;
  }
  if (length > 0) std::memcpy(buffer, bytes_ + location_, length);
  location_ += length;
}

void ByteBufferStreamReader::SkipToAlignment(uint8_t alignment) {
  if (alignment == 0) return;
  uint64_t remainder = location_ % alignment;
  if (remainder != 0) location_ += alignment - remainder;
}

size_t ByteBufferStreamReader::RemainingBytes() const {
  return location_ < size_ ? static_cast<size_t>(size_ - location_) : 0;
}

ByteBufferStreamWriter::ByteBufferStreamWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {
  // Channel messages are mostly small maps and calls; one allocation up front
  // saves the vector's first several regrowths.
  constexpr size_t kInitialCapacity = 256;
  if (buffer_->capacity() < kInitialCapacity) buffer_->reserve(kInitialCapacity);
}

void ByteBufferStreamWriter::PutBytes(const uint8_t* bytes, size_t length) {
  if (length == 0) return;
  buffer_->insert(buffer_->end(), bytes, bytes + length);
}

void ByteBufferStreamWriter::PadToAlignment(uint8_t alignment) {
  if (alignment == 0) return;
  size_t remainder = buffer_->size() % alignment;
  if (remainder == 0) return;
  for (size_t i = remainder; i < alignment; ++i) PutByte(0);
}

}  // namespace flutter
