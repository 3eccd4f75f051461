#include "messaging/standard_codec_reader.h"

#include <string>
#include <tuple>
#include <typeinfo>
#include <utility>
#include <vector>

#include "messaging/byte_buffer_streams.h"
#include "messaging/diagnostic.h"
#include "messaging/standard_codec_format.h"
#include "messaging/standard_codec_serializer.h"

namespace flutter::internal {
namespace {

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
  void NextBytes(void* buffer, size_t length) {
    stream_->NextBytes(static_cast<uint8_t*>(buffer), length);
  }
  void SkipToAlignment(uint8_t alignment) { stream_->SkipToAlignment(alignment); }
  size_t RemainingBytes() const { return stream_->RemainingBytes(); }
  // Reads `length` bytes into a new string (zeros where the read fails).
  std::string NextString(size_t length) {
    std::string string(length, '\0');
    stream_->NextBytes(reinterpret_cast<uint8_t*>(&string[0]), length);
    return string;
  }
  // Calls f(bytes, length) with the next `length` bytes (zeros where the read
  // fails) and gives what it returns.
  template <typename F>
  decltype(auto) WithBytes(size_t length, F&& f) {
    std::string string = NextString(length);
    return f(string.data(), length);
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
  void NextBytes(void* buffer, size_t length) {
    stream_->ByteBufferStreamReader::NextBytes(static_cast<uint8_t*>(buffer), length);
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
  // As for AnyReader, but the bytes are read in place in the message.
  template <typename F>
  decltype(auto) WithBytes(size_t length, F&& f) {
    const uint8_t* bytes = stream_->Take(length);
    if (bytes == nullptr) return f(std::string(length, '\0').data(), length);
    return f(reinterpret_cast<const char*>(bytes), length);
  }
  ByteStreamReader* stream() const { return stream_; }

 private:
  ByteBufferStreamReader* stream_;
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

template <typename T, typename Reader>
T NextNumber(Reader& reader) {
  T value{};
  reader.NextBytes(&value, sizeof(T));
  return value;
}

template <typename Reader>
size_t ReadLengthFrom(Reader& reader) {
  uint8_t first = reader.NextByte();
  if (first < kTwoByteSize) return first;
  if (first == kTwoByteSize) return NextNumber<uint16_t>(reader);
  return NextNumber<uint32_t>(reader);
}

// A string's size; false (after the diagnostic) when the rest of the message
// cannot hold that many bytes.
template <typename Reader>
bool ReadStringSize(Reader& reader, size_t& size) {
  size = ReadLengthFrom(reader);
  return DeclaredSizeFits(size, size, reader);
}

template <typename T, typename Reader>
void ReadTypedListInto(Reader& reader, EncodableValue& out) {
  size_t count = ReadLengthFrom(reader);
  reader.SkipToAlignment(sizeof(T));
  uint64_t bytes = static_cast<uint64_t>(count) * sizeof(T);
  if (!DeclaredSizeFits(count, bytes, reader)) return;
  std::vector<T>& list = out.emplace<std::vector<T>>(count);
  // An empty list reads nothing: the alignment skip may have passed the end of
  // a message that ends with an unpadded empty list, and that is no read error.
  if (count > 0) reader.NextBytes(list.data(), count * sizeof(T));
}

// Decodes the payload of one value into `out`, which holds null. With kPlain
// (the serializer is exactly the standard one) nested values are read here
// directly; otherwise they go through the virtual ReadValueOfType so a
// derived serializer sees every tag. `depth` counts the lists and maps around
// the value.
//
// Values are built where they end up (a list's last element, a map entry's
// value) rather than returned and moved: channel messages are mostly small
// maps, and the moves cost as much as the reads.
template <bool kPlain, typename Reader>
void ReadPayloadInto(const StandardCodecSerializer& serializer, uint8_t type, Reader& reader,
                     int depth, EncodableValue& out);

template <bool kPlain, typename Reader>
void ReadElementInto(const StandardCodecSerializer& serializer, Reader& reader, int depth,
                     EncodableValue& out) {
  uint8_t type = reader.NextByte();
  if constexpr (kPlain) {
    ReadPayloadInto<true>(serializer, type, reader, depth, out);
  } else {
    out = serializer.ReadValueOfType(type, reader.stream());
  }
}

// Inserts an entry, its key and value built in the map's node from the
// argument tuples. Maps arrive in key order, so the end is almost always the
// right place. Gives the entry and whether the key is new; for a key already
// there, the first occurrence wins and this entry is dropped.
template <typename KeyArgs, typename ValueArgs>
std::pair<ValueMap::iterator, bool> InsertEntry(ValueMap& map, KeyArgs&& key, ValueArgs&& value) {
  size_t before = map.size();
  auto entry = map.emplace_hint(map.end(), std::piecewise_construct, std::forward<KeyArgs>(key),
                                std::forward<ValueArgs>(value));
  return {entry, map.size() != before};
}

// Reads an entry's value and inserts the entry. Scalars and strings are built
// straight in the node; other values are read into the node's null value once
// the key is known to be new.
template <typename Reader, typename KeyArgs>
void ReadValueAndInsert(const StandardCodecSerializer& serializer, Reader& reader, int depth,
                        ValueMap& map, KeyArgs&& key) {
  uint8_t type = reader.NextByte();
  switch (type) {
    case kNull:
      InsertEntry(map, std::move(key), std::tuple<>());
      return;
    case kTrue:
    case kFalse:
      InsertEntry(map, std::move(key), std::make_tuple(std::in_place_type<bool>, type == kTrue));
      return;
    case kInt32:
      InsertEntry(map, std::move(key),
                  std::make_tuple(std::in_place_type<int32_t>, NextNumber<int32_t>(reader)));
      return;
    case kInt64:
      InsertEntry(map, std::move(key),
                  std::make_tuple(std::in_place_type<int64_t>, NextNumber<int64_t>(reader)));
      return;
    case kLegacyString:
    case kString: {
      size_t size;
      if (!ReadStringSize(reader, size)) {
        InsertEntry(map, std::move(key), std::tuple<>());
        return;
      }
      reader.WithBytes(size, [&](const char* bytes, size_t length) {
        InsertEntry(map, std::move(key),
                    std::make_tuple(std::in_place_type<std::string>, bytes, length));
      });
      return;
    }
    default: {
      auto [entry, is_new] = InsertEntry(map, std::move(key), std::tuple<>());
      if (is_new) {
        ReadPayloadInto<true>(serializer, type, reader, depth, entry->second);
      } else {
        EncodableValue ignored;
        ReadPayloadInto<true>(serializer, type, reader, depth, ignored);
      }
      return;
    }
  }
}

// One entry of a map read by the plain serializer.
template <typename Reader>
void ReadPlainEntry(const StandardCodecSerializer& serializer, Reader& reader, int depth,
                    ValueMap& map) {
  uint8_t type = reader.NextByte();
  // Nearly every key is a string, built in the node from the message bytes.
  if (type == kString || type == kLegacyString) {
    size_t size;
    if (!ReadStringSize(reader, size)) {
      ReadValueAndInsert(serializer, reader, depth, map, std::tuple<>());
      return;
    }
    reader.WithBytes(size, [&](const char* bytes, size_t length) {
      ReadValueAndInsert(serializer, reader, depth, map,
                         std::make_tuple(std::in_place_type<std::string>, bytes, length));
    });
    return;
  }
  EncodableValue key;
  ReadPayloadInto<true>(serializer, type, reader, depth, key);
  ReadValueAndInsert(serializer, reader, depth, map, std::forward_as_tuple(std::move(key)));
}

// One entry of a map read for a derived serializer: key and value both go
// through its ReadValueOfType, in that order.
template <typename Reader>
void ReadDerivedEntry(const StandardCodecSerializer& serializer, Reader& reader, ValueMap& map) {
  auto [entry, is_new] = InsertEntry(
      map, std::forward_as_tuple(serializer.ReadValueOfType(reader.NextByte(), reader.stream())),
      std::tuple<>());
  EncodableValue value = serializer.ReadValueOfType(reader.NextByte(), reader.stream());
  if (is_new) entry->second = std::move(value);
}

// A list or a map: its length, then each element (or key and value), one
// level deeper than the container.
template <bool kPlain, typename Reader>
void ReadContainerInto(const StandardCodecSerializer& serializer, uint8_t type, Reader& reader,
                       int depth, EncodableValue& out) {
  if (depth >= StandardCodecSerializer::kMaxNestingDepth) {
    WriteDiagnosticLine("Nesting deeper than " +
                        std::to_string(StandardCodecSerializer::kMaxNestingDepth) +
                        " in StandardCodecSerializer::ReadValueOfType");
    return;
  }
  const int inner = depth + 1;
  NestingScope scope(!kPlain, inner);
  size_t count = ReadLengthFrom(reader);
  if (type == kList) {
    // Every element takes at least its tag byte.
    if (!DeclaredSizeFits(count, count, reader)) return;
    ValueList& list = out.emplace<ValueList>();
    // Reserved in full, so `list.back()` stays put while an element is read.
    list.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      list.emplace_back();
      ReadElementInto<kPlain>(serializer, reader, inner, list.back());
    }
    return;
  }
  // Every entry takes at least a key tag and a value tag.
  if (!DeclaredSizeFits(count, static_cast<uint64_t>(count) * 2, reader)) return;
  ValueMap& map = out.emplace<ValueMap>();
  for (size_t i = 0; i < count; ++i) {
    if constexpr (kPlain) {
      ReadPlainEntry(serializer, reader, inner, map);
    } else {
      ReadDerivedEntry(serializer, reader, map);
    }
  }
}

template <bool kPlain, typename Reader>
void ReadPayloadInto(const StandardCodecSerializer& serializer, uint8_t type, Reader& reader,
                     int depth, EncodableValue& out) {
  switch (type) {
    case kNull:
      return;
    case kTrue:
      out.emplace<bool>(true);
      return;
    case kFalse:
      out.emplace<bool>(false);
      return;
    case kInt32:
      out.emplace<int32_t>(NextNumber<int32_t>(reader));
      return;
    case kInt64:
      out.emplace<int64_t>(NextNumber<int64_t>(reader));
      return;
    case kDouble:
      reader.SkipToAlignment(8);
      out.emplace<double>(NextNumber<double>(reader));
      return;
    case kLegacyString:
    case kString: {
      size_t size;
      if (!ReadStringSize(reader, size)) return;
      reader.WithBytes(
          size, [&](const char* bytes, size_t length) { out.emplace<std::string>(bytes, length); });
      return;
    }
    case kUInt8List: {
      size_t size = ReadLengthFrom(reader);
      if (!DeclaredSizeFits(size, size, reader)) return;
      std::vector<uint8_t>& bytes = out.emplace<std::vector<uint8_t>>(size);
      reader.NextBytes(bytes.data(), size);
      return;
    }
    case kInt32List:
      ReadTypedListInto<int32_t>(reader, out);
      return;
    case kInt64List:
      ReadTypedListInto<int64_t>(reader, out);
      return;
    case kDoubleList:
      ReadTypedListInto<double>(reader, out);
      return;
    case kFloat32List:
      ReadTypedListInto<float>(reader, out);
      return;
    case kList:
    case kMap:
      ReadContainerInto<kPlain>(serializer, type, reader, depth, out);
      return;
    default:
      WriteDiagnosticLine("Unknown type in StandardCodecSerializer::ReadValueOfType: " +
                          std::to_string(type));
      return;
  }
}

template <typename Reader>
EncodableValue ReadWith(const StandardCodecSerializer& serializer, uint8_t type, Reader& reader) {
  EncodableValue value;
  if (typeid(serializer) == typeid(StandardCodecSerializer)) {
    ReadPayloadInto<true>(serializer, type, reader, t_read_depth, value);
  } else {
    ReadPayloadInto<false>(serializer, type, reader, t_read_depth, value);
  }
  return value;
}

}  // namespace

EncodableValue ReadStandardValue(const StandardCodecSerializer& serializer, uint8_t type,
                                 ByteStreamReader* stream) {
  // Type identities are compared once per value read, not per byte. A derived
  // reader or serializer keeps every virtual call it may override.
  if (typeid(*stream) == typeid(ByteBufferStreamReader)) {
    BufferReader reader(static_cast<ByteBufferStreamReader*>(stream));
    return ReadWith(serializer, type, reader);
  }
  AnyReader reader(stream);
  return ReadWith(serializer, type, reader);
}

size_t ReadStandardLength(ByteStreamReader* stream) {
  AnyReader reader(stream);
  return ReadLengthFrom(reader);
}

}  // namespace flutter::internal
