#include "messaging/standard_codec_serializer.h"

#include <cstring>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "messaging/byte_buffer_streams.h"
#include "messaging/diagnostic.h"

namespace flutter {
namespace {

enum Tag : uint8_t {
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

// Nesting of the lists and maps being read on this thread, as seen by a
// derived serializer's ReadValueOfType re-entering this one. It bounds the
// recursion of one decoding without giving the serializer any state.
thread_local int t_read_depth = 0;

// Publishes the depth of the elements about to be read through the virtual
// ReadValueOfType; the plain decoder passes the depth along instead.
class NestingScope {
 public:
  NestingScope(bool active, int depth) : active_(active) {
    if (active_) {
      saved_ = t_read_depth;
      t_read_depth = depth;
    }
  }
  ~NestingScope() {
    if (active_) t_read_depth = saved_;
  }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;

 private:
  bool active_;
  int saved_ = 0;
};

void ReportTooLarge(uint64_t declared, size_t remaining) {
  WriteDiagnosticLine("Declared size " + std::to_string(declared) + " needs more than the " +
                      std::to_string(remaining) +
                      " bytes left in StandardCodecSerializer::ReadValueOfType");
}

// Any reader, through its virtual interface.
class AnyReader {
 public:
  explicit AnyReader(ByteStreamReader* stream) : stream_(stream) {}
  uint8_t NextByte() { return stream_->NextByte(); }
  void NextBytes(uint8_t* buffer, size_t length) { stream_->NextBytes(buffer, length); }
  void SkipToAlignment(uint8_t alignment) { stream_->SkipToAlignment(alignment); }
  size_t RemainingBytes() const { return stream_->RemainingBytes(); }
  // Reads `length` bytes into a new string (zeros where the read fails).
  std::string NextString(size_t length) {
    std::string string(length, '\0');
    stream_->NextBytes(reinterpret_cast<uint8_t*>(&string[0]), length);
    return string;
  }
  ByteStreamReader* stream() const { return stream_; }

 private:
  ByteStreamReader* stream_;
};

// Exactly a ByteBufferStreamReader: the same reads, called non-virtually so
// they inline, and strings built straight from the message.
class BufferReader {
 public:
  explicit BufferReader(ByteBufferStreamReader* stream) : stream_(stream) {}
  uint8_t NextByte() { return stream_->ByteBufferStreamReader::NextByte(); }
  void NextBytes(uint8_t* buffer, size_t length) {
    stream_->ByteBufferStreamReader::NextBytes(buffer, length);
  }
  void SkipToAlignment(uint8_t alignment) {
    stream_->ByteBufferStreamReader::SkipToAlignment(alignment);
  }
  size_t RemainingBytes() const { return stream_->ByteBufferStreamReader::RemainingBytes(); }
  std::string NextString(size_t length) {
    const uint8_t* bytes = stream_->Take(length);
    if (bytes == nullptr) return std::string(length, '\0');
    return std::string(reinterpret_cast<const char*>(bytes), length);
  }
  ByteStreamReader* stream() const { return stream_; }

 private:
  ByteBufferStreamReader* stream_;
};

// Any writer, through its virtual interface.
class AnyWriter {
 public:
  explicit AnyWriter(ByteStreamWriter* stream) : stream_(stream) {}
  void PutByte(uint8_t byte) { stream_->PutByte(byte); }
  void PutBytes(const uint8_t* bytes, size_t length) { stream_->PutBytes(bytes, length); }
  void PadToAlignment(uint8_t alignment) { stream_->PadToAlignment(alignment); }
  ByteStreamWriter* stream() const { return stream_; }

 private:
  ByteStreamWriter* stream_;
};

// Exactly a ByteBufferStreamWriter, called non-virtually.
class BufferWriter {
 public:
  explicit BufferWriter(ByteBufferStreamWriter* stream) : stream_(stream) {}
  void PutByte(uint8_t byte) { stream_->ByteBufferStreamWriter::PutByte(byte); }
  void PutBytes(const uint8_t* bytes, size_t length) {
    stream_->ByteBufferStreamWriter::PutBytes(bytes, length);
  }
  void PadToAlignment(uint8_t alignment) {
    stream_->ByteBufferStreamWriter::PadToAlignment(alignment);
  }
  ByteStreamWriter* stream() const { return stream_; }

 private:
  ByteBufferStreamWriter* stream_;
};

// Whether a declared size can be carried by the rest of the message; reports
// the refusal. `needed` is the least number of bytes the declared content
// occupies.
template <typename Reader>
bool DeclaredSizeFits(uint64_t declared, uint64_t needed, const Reader& reader) {
  size_t remaining = reader.RemainingBytes();
  if (remaining == ByteStreamReader::kRemainingUnknown || needed <= remaining) return true;
  ReportTooLarge(declared, remaining);
  return false;
}

// Gathers the tag and payload of a small value so that it reaches the stream
// in one call instead of one per field; most channel values are small.
class ValueBytes {
 public:
  static constexpr size_t kCapacity = 48;

  void Byte(uint8_t byte) { data_[size_++] = byte; }
  void Bytes(const void* bytes, size_t length) {
    std::memcpy(data_ + size_, bytes, length);
    size_ += length;
  }
  // The size form: one byte below 254, else a marker and 2 or 4 bytes.
  void Length(size_t length) {
    if (length < 254) {
      Byte(static_cast<uint8_t>(length));
    } else if (length <= 0xFFFF) {
      uint16_t value = static_cast<uint16_t>(length);
      Byte(254);
      Bytes(&value, sizeof(value));
    } else {
      uint32_t value = static_cast<uint32_t>(length);
      Byte(255);
      Bytes(&value, sizeof(value));
    }
  }
  template <typename Writer>
  void WriteTo(Writer& writer) const {
    writer.PutBytes(data_, size_);
  }

 private:
  uint8_t data_[kCapacity];
  size_t size_ = 0;
};

template <typename T, typename Writer>
void PutTagged(uint8_t tag, T value, Writer& writer) {
  ValueBytes bytes;
  bytes.Byte(tag);
  bytes.Bytes(&value, sizeof(T));
  bytes.WriteTo(writer);
}

template <typename T, typename Writer>
void PutNumber(T value, Writer& writer) {
  writer.PutBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(T));
}

template <typename Writer>
void WriteLengthTo(size_t size, Writer& writer) {
  ValueBytes bytes;
  bytes.Length(size);
  bytes.WriteTo(writer);
}

template <typename T, typename Reader>
T NextNumber(Reader& reader) {
  T value{};
  reader.NextBytes(reinterpret_cast<uint8_t*>(&value), sizeof(T));
  return value;
}

template <typename Reader>
size_t ReadLengthFrom(Reader& reader) {
  uint8_t first = reader.NextByte();
  if (first < 254) return first;
  if (first == 254) return NextNumber<uint16_t>(reader);
  return NextNumber<uint32_t>(reader);
}

template <typename T, typename Writer>
void WriteTypedList(const std::vector<T>& list, Writer& writer) {
  WriteLengthTo(list.size(), writer);
  // Padded even when empty: the reader always aligns after a typed-list size,
  // so an unpadded empty list would shift every value after it.
  writer.PadToAlignment(sizeof(T));
  writer.PutBytes(reinterpret_cast<const uint8_t*>(list.data()), list.size() * sizeof(T));
}

template <typename T, typename Reader>
EncodableValue ReadTypedList(Reader& reader) {
  size_t count = ReadLengthFrom(reader);
  reader.SkipToAlignment(sizeof(T));
  uint64_t bytes = static_cast<uint64_t>(count) * sizeof(T);
  if (!DeclaredSizeFits(count, bytes, reader)) return EncodableValue();
  std::vector<T> list(count);
  // An empty list reads nothing: the alignment skip may have passed the end of
  // a well-formed message (the writer does not pad empty lists), and that is
  // no read error.
  if (count > 0) reader.NextBytes(reinterpret_cast<uint8_t*>(list.data()), count * sizeof(T));
  return EncodableValue(std::move(list));
}

// Decodes the payload of one value. `plain` says the serializer is exactly
// StandardCodecSerializer, so nested values may skip its virtual
// ReadValueOfType; otherwise they go through it so a derived serializer sees
// every tag. `depth` counts the lists and maps around the value.
template <typename Reader>
EncodableValue ReadPayload(const StandardCodecSerializer& serializer, uint8_t type, Reader& reader,
                           bool plain, int depth);

template <typename Reader>
EncodableValue ReadElement(const StandardCodecSerializer& serializer, Reader& reader, bool plain,
                           int depth) {
  uint8_t type = reader.NextByte();
  if (plain) return ReadPayload(serializer, type, reader, true, depth);
  return serializer.ReadValueOfType(type, reader.stream());
}

template <typename Reader>
EncodableValue ReadPayload(const StandardCodecSerializer& serializer, uint8_t type, Reader& reader,
                           bool plain, int depth) {
  switch (type) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32:
      return EncodableValue(NextNumber<int32_t>(reader));
    case kInt64:
      return EncodableValue(NextNumber<int64_t>(reader));
    case kDouble:
      reader.SkipToAlignment(8);
      return EncodableValue(NextNumber<double>(reader));
    case kLegacyString:
    case kString: {
      size_t size = ReadLengthFrom(reader);
      if (!DeclaredSizeFits(size, size, reader)) return EncodableValue();
      return EncodableValue(reader.NextString(size));
    }
    case kUInt8List: {
      size_t size = ReadLengthFrom(reader);
      if (!DeclaredSizeFits(size, size, reader)) return EncodableValue();
      std::vector<uint8_t> bytes(size);
      reader.NextBytes(bytes.data(), size);
      return EncodableValue(std::move(bytes));
    }
    case kInt32List:
      return ReadTypedList<int32_t>(reader);
    case kInt64List:
      return ReadTypedList<int64_t>(reader);
    case kDoubleList:
      return ReadTypedList<double>(reader);
    case kFloat32List:
      return ReadTypedList<float>(reader);
    case kList:
    case kMap:
      break;
    default:
      WriteDiagnosticLine("Unknown type in StandardCodecSerializer::ReadValueOfType: " +
                          std::to_string(type));
      return EncodableValue();
  }

  if (depth >= StandardCodecSerializer::kMaxNestingDepth) {
    WriteDiagnosticLine("Nesting deeper than " +
                        std::to_string(StandardCodecSerializer::kMaxNestingDepth) +
                        " in StandardCodecSerializer::ReadValueOfType");
    return EncodableValue();
  }
  const int inner = depth + 1;
  NestingScope scope(!plain, inner);
  size_t count = ReadLengthFrom(reader);
  if (type == kList) {
    // Every element takes at least its tag byte.
    if (!DeclaredSizeFits(count, count, reader)) return EncodableValue();
    ValueList list;
    list.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      list.push_back(ReadElement(serializer, reader, plain, inner));
    }
    return EncodableValue(std::move(list));
  }
  // Every entry takes at least a key tag and a value tag.
  if (!DeclaredSizeFits(count, static_cast<uint64_t>(count) * 2, reader)) return EncodableValue();
  ValueMap map;
  for (size_t i = 0; i < count; ++i) {
    EncodableValue key = ReadElement(serializer, reader, plain, inner);
    EncodableValue value = ReadElement(serializer, reader, plain, inner);
    // The first occurrence of a key wins. Maps arrive in key order, so the
    // end is almost always the right place to insert.
    map.emplace_hint(map.end(), std::move(key), std::move(value));
  }
  return EncodableValue(std::move(map));
}

template <typename Writer>
void WritePayload(const StandardCodecSerializer& serializer, const EncodableValue& value,
                  Writer& writer, bool plain);

template <typename Writer>
void WriteElement(const StandardCodecSerializer& serializer, const EncodableValue& value,
                  Writer& writer, bool plain) {
  if (plain) {
    WritePayload(serializer, value, writer, true);
  } else {
    serializer.WriteValue(value, writer.stream());
  }
}

// Encodes one value. `plain` as for ReadPayload: nested values go through
// the virtual WriteValue unless the serializer is exactly this one.
template <typename Writer>
void WritePayload(const StandardCodecSerializer& serializer, const EncodableValue& value,
                  Writer& writer, bool plain) {
  const EncodableValue::super& v = value;
  switch (value.index()) {
    case 1:
      writer.PutByte(std::get<bool>(v) ? kTrue : kFalse);
      return;
    case 2:
      PutTagged(kInt32, std::get<int32_t>(v), writer);
      return;
    case 3:
      PutTagged(kInt64, std::get<int64_t>(v), writer);
      return;
    case 4:
      writer.PutByte(kDouble);
      writer.PadToAlignment(8);
      PutNumber(std::get<double>(v), writer);
      return;
    case 5: {
      const std::string& string = std::get<std::string>(v);
      ValueBytes header;
      header.Byte(kString);
      header.Length(string.size());
      if (string.size() <= ValueBytes::kCapacity - 6) {
        header.Bytes(string.data(), string.size());
        header.WriteTo(writer);
        return;
      }
      header.WriteTo(writer);
      writer.PutBytes(reinterpret_cast<const uint8_t*>(string.data()), string.size());
      return;
    }
    case 6: {
      const auto& bytes = std::get<std::vector<uint8_t>>(v);
      writer.PutByte(kUInt8List);
      WriteLengthTo(bytes.size(), writer);
      writer.PutBytes(bytes.data(), bytes.size());
      return;
    }
    case 7:
      writer.PutByte(kInt32List);
      WriteTypedList(std::get<std::vector<int32_t>>(v), writer);
      return;
    case 8:
      writer.PutByte(kInt64List);
      WriteTypedList(std::get<std::vector<int64_t>>(v), writer);
      return;
    case 9:
      writer.PutByte(kDoubleList);
      WriteTypedList(std::get<std::vector<double>>(v), writer);
      return;
    case 10: {
      const ValueList& list = std::get<ValueList>(v);
      writer.PutByte(kList);
      WriteLengthTo(list.size(), writer);
      for (const EncodableValue& element : list) WriteElement(serializer, element, writer, plain);
      return;
    }
    case 11: {
      const ValueMap& map = std::get<ValueMap>(v);
      writer.PutByte(kMap);
      WriteLengthTo(map.size(), writer);
      for (const auto& entry : map) {
        WriteElement(serializer, entry.first, writer, plain);
        WriteElement(serializer, entry.second, writer, plain);
      }
      return;
    }
    case 12:
      writer.PutByte(kNull);
      WriteDiagnosticLine(
          "Unhandled custom type in StandardCodecSerializer::WriteValue. "
          "Custom types require codec extensions.");
      return;
    case 13:
      writer.PutByte(kFloat32List);
      WriteTypedList(std::get<std::vector<float>>(v), writer);
      return;
    default:
      // Null, and a value left holding nothing by a failed assignment.
      writer.PutByte(kNull);
      return;
  }
}

}  // namespace

const StandardCodecSerializer& StandardCodecSerializer::SharedInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

EncodableValue StandardCodecSerializer::ReadTaggedValue(ByteStreamReader* stream) const {
  return ReadValueOfType(stream->NextByte(), stream);
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  const bool plain = typeid(*this) == typeid(StandardCodecSerializer);
  if (typeid(*stream) == typeid(ByteBufferStreamWriter)) {
    BufferWriter writer(static_cast<ByteBufferStreamWriter*>(stream));
    WritePayload(*this, value, writer, plain);
    return;
  }
  AnyWriter writer(stream);
  WritePayload(*this, value, writer, plain);
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  // Both tests compare type identities once per call, not per byte. A
  // derived reader or serializer keeps every virtual call it may override.
  const bool plain = typeid(*this) == typeid(StandardCodecSerializer);
  if (typeid(*stream) == typeid(ByteBufferStreamReader)) {
    BufferReader reader(static_cast<ByteBufferStreamReader*>(stream));
    return ReadPayload(*this, type, reader, plain, t_read_depth);
  }
  AnyReader reader(stream);
  return ReadPayload(*this, type, reader, plain, t_read_depth);
}

void StandardCodecSerializer::WriteLength(size_t size, ByteStreamWriter* stream) const {
  AnyWriter writer(stream);
  WriteLengthTo(size, writer);
}

size_t StandardCodecSerializer::ReadLength(ByteStreamReader* stream) const {
  AnyReader reader(stream);
  return ReadLengthFrom(reader);
}

}  // namespace flutter
