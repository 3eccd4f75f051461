#include "messaging/standard_codec_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <typeinfo>
#include <vector>

#include "messaging/byte_buffer_streams.h"
#include "messaging/diagnostic.h"
#include "messaging/standard_codec_format.h"
#include "messaging/standard_codec_serializer.h"

namespace flutter::internal {
namespace {

// Any writer, through its virtual interface.
class AnyWriter {
 public:
  explicit AnyWriter(ByteStreamWriter* stream) : stream_(stream) {}
  void PutByte(uint8_t byte) { stream_->PutByte(byte); }
  void PutBytes(const void* bytes, size_t length) {
    stream_->PutBytes(static_cast<const uint8_t*>(bytes), length);
  }
  void PadToAlignment(uint8_t alignment) { stream_->PadToAlignment(alignment); }
  ByteStreamWriter* stream() const { return stream_; }

 private:
  ByteStreamWriter* stream_;
};

void ReportCustomValue() {
  WriteDiagnosticLine(
      "Unhandled custom type in StandardCodecSerializer::WriteValue. "
      "Custom types require codec extensions.");
}

template <typename Writer>
void WriteLengthTo(size_t size, Writer& writer) {
  if (size < kTwoByteSize) {
    writer.PutByte(static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    uint16_t value = static_cast<uint16_t>(size);
    writer.PutByte(kTwoByteSize);
    writer.PutBytes(&value, sizeof(value));
  } else {
    uint32_t value = static_cast<uint32_t>(size);
    writer.PutByte(kFourByteSize);
    writer.PutBytes(&value, sizeof(value));
  }
}

template <typename T, typename Writer>
void WriteTypedList(uint8_t tag, const std::vector<T>& list, Writer& writer) {
  writer.PutByte(tag);
  WriteLengthTo(list.size(), writer);
  // Padded even when empty: the reader always aligns after a typed-list size,
  // so an unpadded empty list would shift every value after it.
  writer.PadToAlignment(sizeof(T));
  writer.PutBytes(list.data(), list.size() * sizeof(T));
}

// Encodes one value. With kPlain (the serializer is exactly the standard one)
// nested values are written here directly; otherwise they go through the
// virtual WriteValue so a derived serializer sees every one of them.
template <bool kPlain, typename Writer>
void WritePayload(const StandardCodecSerializer& serializer, const EncodableValue& value,
                  Writer& writer);

template <bool kPlain, typename Writer>
void WriteElement(const StandardCodecSerializer& serializer, const EncodableValue& value,
                  Writer& writer) {
  if constexpr (kPlain) {
    WritePayload<true>(serializer, value, writer);
  } else {
    serializer.WriteValue(value, writer.stream());
  }
}

// A string or a byte list: tag, length, then the bytes unaligned.
template <typename Writer>
void WriteSizedBytes(uint8_t tag, const void* data, size_t size, Writer& writer) {
  writer.PutByte(tag);
  WriteLengthTo(size, writer);
  writer.PutBytes(data, size);
}

template <bool kPlain, typename Writer>
void WriteListPayload(const StandardCodecSerializer& serializer, const ValueList& list,
                      Writer& writer) {
  writer.PutByte(kList);
  WriteLengthTo(list.size(), writer);
  for (const EncodableValue& element : list) {
    WriteElement<kPlain>(serializer, element, writer);
  }
}

template <bool kPlain, typename Writer>
void WriteMapPayload(const StandardCodecSerializer& serializer, const ValueMap& map,
                     Writer& writer) {
  writer.PutByte(kMap);
  WriteLengthTo(map.size(), writer);
  for (const auto& entry : map) {
    WriteElement<kPlain>(serializer, entry.first, writer);
    WriteElement<kPlain>(serializer, entry.second, writer);
  }
}

template <bool kPlain, typename Writer>
void WritePayload(const StandardCodecSerializer& serializer, const EncodableValue& value,
                  Writer& writer) {
  const EncodableValue::super& v = value;
  switch (value.index()) {
    case 1:
      writer.PutByte(std::get<bool>(v) ? kTrue : kFalse);
      return;
    case 2:
      writer.PutByte(kInt32);
      writer.PutBytes(&std::get<int32_t>(v), sizeof(int32_t));
      return;
    case 3:
      writer.PutByte(kInt64);
      writer.PutBytes(&std::get<int64_t>(v), sizeof(int64_t));
      return;
    case 4:
      writer.PutByte(kDouble);
      writer.PadToAlignment(8);
      writer.PutBytes(&std::get<double>(v), sizeof(double));
      return;
    case 5: {
      const std::string& string = std::get<std::string>(v);
      WriteSizedBytes(kString, string.data(), string.size(), writer);
      return;
    }
    case 6: {
      const auto& bytes = std::get<std::vector<uint8_t>>(v);
      WriteSizedBytes(kUInt8List, bytes.data(), bytes.size(), writer);
      return;
    }
    case 7:
      WriteTypedList(kInt32List, std::get<std::vector<int32_t>>(v), writer);
      return;
    case 8:
      WriteTypedList(kInt64List, std::get<std::vector<int64_t>>(v), writer);
      return;
    case 9:
      WriteTypedList(kDoubleList, std::get<std::vector<double>>(v), writer);
      return;
    case 10:
      WriteListPayload<kPlain>(serializer, std::get<ValueList>(v), writer);
      return;
    case 11:
      WriteMapPayload<kPlain>(serializer, std::get<ValueMap>(v), writer);
      return;
    case 12:
      writer.PutByte(kNull);
      ReportCustomValue();
      return;
    case 13:
      WriteTypedList(kFloat32List, std::get<std::vector<float>>(v), writer);
      return;
    default:
      // Null, and a value left holding nothing by a failed assignment.
      writer.PutByte(kNull);
      return;
  }
}

// The standard serializer writing to an in-memory array: the hot path of
// every channel message. Each value makes room for its largest form once and
// is then written through a plain pointer. The array is grown ahead of the
// writes, zero-filled (so padding is a skip), and trimmed to what was written
// when the encoder goes away.
class ArrayEncoder {
 public:
  explicit ArrayEncoder(std::vector<uint8_t>* array)
      : array_(array), data_(array->data()), length_(array->size()), limit_(array->size()) {}
  ~ArrayEncoder() { array_->resize(length_); }
  ArrayEncoder(const ArrayEncoder&) = delete;
  ArrayEncoder& operator=(const ArrayEncoder&) = delete;

  void Write(const EncodableValue& value) {
    const EncodableValue::super& v = value;
    switch (value.index()) {
      case 1:
        *Room(1) = std::get<bool>(v) ? kTrue : kFalse;
        length_ += 1;
        return;
      case 2:
        PutNumber(kInt32, std::get<int32_t>(v));
        return;
      case 3:
        PutNumber(kInt64, std::get<int64_t>(v));
        return;
      case 4:
        PutNumber(kDouble, std::get<double>(v), 8);
        return;
      case 5: {
        const std::string& string = std::get<std::string>(v);
        PutSized(kString, string.data(), string.size(), 1);
        return;
      }
      case 6: {
        const auto& bytes = std::get<std::vector<uint8_t>>(v);
        PutSized(kUInt8List, bytes.data(), bytes.size(), 1);
        return;
      }
      case 7:
        PutTypedList(kInt32List, std::get<std::vector<int32_t>>(v));
        return;
      case 8:
        PutTypedList(kInt64List, std::get<std::vector<int64_t>>(v));
        return;
      case 9:
        PutTypedList(kDoubleList, std::get<std::vector<double>>(v));
        return;
      case 10: {
        const ValueList& list = std::get<ValueList>(v);
        PutSized(kList, nullptr, list.size(), 0);
        for (const EncodableValue& element : list) WriteElement(element);
        return;
      }
      case 11: {
        const ValueMap& map = std::get<ValueMap>(v);
        PutSized(kMap, nullptr, map.size(), 0);
        for (const auto& entry : map) {
          WriteElement(entry.first);
          WriteElement(entry.second);
        }
        return;
      }
      case 12:
        *Room(1) = kNull;
        length_ += 1;
        ReportCustomValue();
        return;
      case 13:
        PutTypedList(kFloat32List, std::get<std::vector<float>>(v));
        return;
      default:
        *Room(1) = kNull;
        length_ += 1;
        return;
    }
  }

 private:
  // The elements of lists and maps are mostly numbers and strings: those are
  // written here, in the caller's loop, and only the rest recurse.
  void WriteElement(const EncodableValue& value) {
    const EncodableValue::super& v = value;
    switch (value.index()) {
      case 2:
        PutNumber(kInt32, *std::get_if<int32_t>(&v));
        return;
      case 3:
        PutNumber(kInt64, *std::get_if<int64_t>(&v));
        return;
      case 5: {
        const std::string& string = *std::get_if<std::string>(&v);
        PutSized(kString, string.data(), string.size(), 1);
        return;
      }
      default:
        Write(value);
        return;
    }
  }

  // A tag, the longest size form and the widest padding.
  static constexpr size_t kMaxHeader = 1 + 5 + 7;
  // Payloads above this are appended rather than copied into grown room.
  static constexpr size_t kBulkBytes = 1024;

  // The tag, padding to `alignment`, then the number's bytes.
  template <typename T>
  void PutNumber(uint8_t tag, T number, size_t alignment = 1) {
    uint8_t* at = Room(kMaxHeader + sizeof(T));
    at[0] = tag;
    size_t start = AlignUp(length_ + 1, alignment);
    std::memcpy(data_ + start, &number, sizeof(T));
    length_ = start + sizeof(T);
  }

  // The tag, the size form of `count`, padding to `width`, then count x width
  // bytes (none for lists and maps, whose elements follow as values).
  void PutSized(uint8_t tag, const void* elements, size_t count, size_t width,
                size_t alignment = 1) {
    size_t bytes = count * width;
    bool bulk = bytes > kBulkBytes;
    uint8_t* at = Room(kMaxHeader + (bulk ? 0 : bytes));
    at[0] = tag;
    size_t start = AlignUp(length_ + 1 + PutSize(at + 1, count), alignment);
    if (bulk) {
      Append(start, elements, bytes);
      return;
    }
    if (bytes > 0) std::memcpy(data_ + start, elements, bytes);
    length_ = start + bytes;
  }

  // Puts a large payload at `start` by appending it to the array trimmed
  // there, so its bytes are written once rather than zero-filled and then
  // copied.
  void Append(size_t start, const void* bytes, size_t length) {
    const uint8_t* from = static_cast<const uint8_t*>(bytes);
    array_->resize(start);
    array_->insert(array_->end(), from, from + length);
    data_ = array_->data();
    length_ = limit_ = array_->size();
  }

  // Padded even when empty: the reader always aligns after a typed-list size,
  // so an unpadded empty list would shift every value after it.
  template <typename T>
  void PutTypedList(uint8_t tag, const std::vector<T>& list) {
    PutSized(tag, list.data(), list.size(), sizeof(T), sizeof(T));
  }

  // Writes the size form of `size` at `at`; gives its length.
  static size_t PutSize(uint8_t* at, size_t size) {
    if (size < kTwoByteSize) {
      at[0] = static_cast<uint8_t>(size);
      return 1;
    }
    if (size <= 0xFFFF) {
      uint16_t value = static_cast<uint16_t>(size);
      at[0] = kTwoByteSize;
      std::memcpy(at + 1, &value, sizeof(value));
      return 3;
    }
    uint32_t value = static_cast<uint32_t>(size);
    at[0] = kFourByteSize;
    std::memcpy(at + 1, &value, sizeof(value));
    return 5;
  }

  // Where the next byte goes, with at least `length` bytes of room after it.
  uint8_t* Room(size_t length) {
    if (length > limit_ - length_) Grow(length);
    return data_ + length_;
  }
  // Fills the capacity already allocated before asking for more, and then at
  // least doubles it, so a small message costs no reallocation.
  void Grow(size_t length) {
    size_t needed = length_ + length;
    size_t capacity = array_->capacity();
    array_->resize(needed <= capacity ? capacity : std::max(needed, 2 * capacity));
    data_ = array_->data();
    limit_ = array_->size();
  }

  std::vector<uint8_t>* array_;
  uint8_t* data_;
  size_t length_;  // bytes written, counted from the first byte of the message
  size_t limit_;   // bytes the array holds, all zero past length_
};

}  // namespace

void WriteStandardValue(const StandardCodecSerializer& serializer, const EncodableValue& value,
                        ByteStreamWriter* stream) {
  // Type identities are compared once per value written, not per byte. A
  // derived writer or serializer keeps every virtual call it may override.
  AnyWriter writer(stream);
  if (typeid(serializer) != typeid(StandardCodecSerializer)) {
    WritePayload<false>(serializer, value, writer);
  } else if (typeid(*stream) == typeid(ByteBufferStreamWriter)) {
    ArrayEncoder(static_cast<ByteBufferStreamWriter*>(stream)->buffer()).Write(value);
  } else {
    WritePayload<true>(serializer, value, writer);
  }
}

void WriteStandardLength(size_t size, ByteStreamWriter* stream) {
  AnyWriter writer(stream);
  WriteLengthTo(size, writer);
}

}  // namespace flutter::internal
