#include "messaging/byte_buffer_streams.h"

#include <cstring>

#include "messaging/diagnostic.h"

namespace flutter {

void ByteBufferStreamReader::ReportInvalidRead() {
  WriteDiagnosticLine("Invalid read in StandardCodecByteStreamReader");
}

ByteBufferStreamWriter::ByteBufferStreamWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {
  // Channel messages are mostly small maps and calls; one allocation up front
  // saves the vector's first several regrowths.
  constexpr size_t kInitialCapacity = 256;
  if (buffer_->capacity() < kInitialCapacity) buffer_->reserve(kInitialCapacity);
}

}  // namespace flutter
