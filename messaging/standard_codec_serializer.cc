#include "messaging/standard_codec_serializer.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

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

// Nesting of the lists and maps being read on this thread. It bounds the
// recursion of one decoding without giving the serializer any state.
thread_local int t_read_depth = 0;

class NestingScope {
 public:
  NestingScope() { ++t_read_depth; }
  ~NestingScope() { --t_read_depth; }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;
};

// Whether a declared size can be carried by the rest of the message; reports
// the refusal. `needed` is the least number of bytes the declared content
// occupies.
bool DeclaredSizeFits(uint64_t declared, uint64_t needed, const ByteStreamReader& stream) {
  size_t remaining = stream.RemainingBytes();
  if (remaining == ByteStreamReader::kRemainingUnknown || needed <= remaining) return true;
  WriteDiagnosticLine("Declared size " + std::to_string(declared) + " needs more than the " +
                      std::to_string(remaining) +
                      " bytes left in StandardCodecSerializer::ReadValueOfType");
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
  void WriteTo(ByteStreamWriter* stream) const { stream->PutBytes(data_, size_); }

 private:
  uint8_t data_[kCapacity];
  size_t size_ = 0;
};

template <typename T>
void PutTagged(uint8_t tag, T value, ByteStreamWriter* stream) {
  ValueBytes bytes;
  bytes.Byte(tag);
  bytes.Bytes(&value, sizeof(T));
  bytes.WriteTo(stream);
}

template <typename T>
void PutNumber(T value, ByteStreamWriter* stream) {
  stream->PutBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(T));
}

template <typename T>
T NextNumber(ByteStreamReader* stream) {
  T value{};
  stream->NextBytes(reinterpret_cast<uint8_t*>(&value), sizeof(T));
  return value;
}

template <typename T>
void WriteTypedList(const std::vector<T>& list, const StandardCodecSerializer& serializer,
                    ByteStreamWriter* stream) {
  serializer.WriteLength(list.size(), stream);
  // Padded even when empty: the reader always aligns after a typed-list size,
  // so an unpadded empty list would shift every value after it.
  stream->PadToAlignment(sizeof(T));
  stream->PutBytes(reinterpret_cast<const uint8_t*>(list.data()), list.size() * sizeof(T));
}

template <typename T>
EncodableValue ReadTypedList(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  size_t count = serializer.ReadLength(stream);
  stream->SkipToAlignment(sizeof(T));
  uint64_t bytes = static_cast<uint64_t>(count) * sizeof(T);
  if (!DeclaredSizeFits(count, bytes, *stream)) return EncodableValue();
  std::vector<T> list(count);
  // An empty list reads nothing: the alignment skip may have passed the end of
  // a well-formed message (the writer does not pad empty lists), and that is
  // no read error.
  if (count > 0) stream->NextBytes(reinterpret_cast<uint8_t*>(list.data()), count * sizeof(T));
  return EncodableValue(std::move(list));
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
  const EncodableValue::super& v = value;
  switch (value.index()) {
    case 1:
      stream->PutByte(std::get<bool>(v) ? kTrue : kFalse);
      return;
    case 2:
      PutTagged(kInt32, std::get<int32_t>(v), stream);
      return;
    case 3:
      PutTagged(kInt64, std::get<int64_t>(v), stream);
      return;
    case 4:
      stream->PutByte(kDouble);
      stream->PadToAlignment(8);
      PutNumber(std::get<double>(v), stream);
      return;
    case 5: {
      const std::string& string = std::get<std::string>(v);
      ValueBytes header;
      header.Byte(kString);
      header.Length(string.size());
      if (string.size() <= ValueBytes::kCapacity - 6) {
        header.Bytes(string.data(), string.size());
        header.WriteTo(stream);
        return;
      }
      header.WriteTo(stream);
      stream->PutBytes(reinterpret_cast<const uint8_t*>(string.data()), string.size());
      return;
    }
    case 6: {
      const auto& bytes = std::get<std::vector<uint8_t>>(v);
      stream->PutByte(kUInt8List);
      WriteLength(bytes.size(), stream);
      stream->PutBytes(bytes.data(), bytes.size());
      return;
    }
    case 7:
      stream->PutByte(kInt32List);
      WriteTypedList(std::get<std::vector<int32_t>>(v), *this, stream);
      return;
    case 8:
      stream->PutByte(kInt64List);
      WriteTypedList(std::get<std::vector<int64_t>>(v), *this, stream);
      return;
    case 9:
      stream->PutByte(kDoubleList);
      WriteTypedList(std::get<std::vector<double>>(v), *this, stream);
      return;
    case 10: {
      const ValueList& list = std::get<ValueList>(v);
      stream->PutByte(kList);
      WriteLength(list.size(), stream);
      for (const EncodableValue& element : list) WriteValue(element, stream);
      return;
    }
    case 11: {
      const ValueMap& map = std::get<ValueMap>(v);
      stream->PutByte(kMap);
      WriteLength(map.size(), stream);
      for (const auto& entry : map) {
        WriteValue(entry.first, stream);
        WriteValue(entry.second, stream);
      }
      return;
    }
    case 12:
      stream->PutByte(kNull);
      WriteDiagnosticLine(
          "Unhandled custom type in StandardCodecSerializer::WriteValue. "
          "Custom types require codec extensions.");
      return;
    case 13:
      stream->PutByte(kFloat32List);
      WriteTypedList(std::get<std::vector<float>>(v), *this, stream);
      return;
    default:
      // Null, and a value left holding nothing by a failed assignment.
      stream->PutByte(kNull);
      return;
  }
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  switch (type) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32:
      return EncodableValue(NextNumber<int32_t>(stream));
    case kInt64:
      return EncodableValue(NextNumber<int64_t>(stream));
    case kDouble:
      stream->SkipToAlignment(8);
      return EncodableValue(NextNumber<double>(stream));
    case kLegacyString:
    case kString: {
      size_t size = ReadLength(stream);
      if (!DeclaredSizeFits(size, size, *stream)) return EncodableValue();
      std::string string(size, '\0');
      stream->NextBytes(reinterpret_cast<uint8_t*>(&string[0]), size);
      return EncodableValue(std::move(string));
    }
    case kUInt8List: {
      size_t size = ReadLength(stream);
      if (!DeclaredSizeFits(size, size, *stream)) return EncodableValue();
      std::vector<uint8_t> bytes(size);
      stream->NextBytes(bytes.data(), size);
      return EncodableValue(std::move(bytes));
    }
    case kInt32List:
      return ReadTypedList<int32_t>(*this, stream);
    case kInt64List:
      return ReadTypedList<int64_t>(*this, stream);
    case kDoubleList:
      return ReadTypedList<double>(*this, stream);
    case kFloat32List:
      return ReadTypedList<float>(*this, stream);
    case kList:
    case kMap:
      break;
    default:
      WriteDiagnosticLine("Unknown type in StandardCodecSerializer::ReadValueOfType: " +
                          std::to_string(type));
      return EncodableValue();
  }

  if (t_read_depth >= kMaxNestingDepth) {
    WriteDiagnosticLine("Nesting deeper than " + std::to_string(kMaxNestingDepth) +
                        " in StandardCodecSerializer::ReadValueOfType");
    return EncodableValue();
  }
  NestingScope scope;
  size_t count = ReadLength(stream);
  if (type == kList) {
    // Every element takes at least its tag byte.
    if (!DeclaredSizeFits(count, count, *stream)) return EncodableValue();
    ValueList list;
    list.reserve(count);
    for (size_t i = 0; i < count; ++i) list.push_back(ReadTaggedValue(stream));
    return EncodableValue(std::move(list));
  }
  // Every entry takes at least a key tag and a value tag.
  if (!DeclaredSizeFits(count, static_cast<uint64_t>(count) * 2, *stream)) return EncodableValue();
  ValueMap map;
  for (size_t i = 0; i < count; ++i) {
    EncodableValue key = ReadTaggedValue(stream);
    EncodableValue value = ReadTaggedValue(stream);
    // The first occurrence of a key wins. Maps arrive in key order, so the
    // end is almost always the right place to insert.
    map.emplace_hint(map.end(), std::move(key), std::move(value));
  }
  return EncodableValue(std::move(map));
}

void StandardCodecSerializer::WriteLength(size_t size, ByteStreamWriter* stream) const {
  ValueBytes bytes;
  bytes.Length(size);
  bytes.WriteTo(stream);
}

size_t StandardCodecSerializer::ReadLength(ByteStreamReader* stream) const {
  uint8_t first = stream->NextByte();
  if (first < 254) return first;
  if (first == 254) return NextNumber<uint16_t>(stream);
  return NextNumber<uint32_t>(stream);
}

}  // namespace flutter
