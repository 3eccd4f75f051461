#include "messaging/standard_codec_serializer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "codec_test_support.h"
#include "messaging/byte_buffer_streams.h"

namespace flutter {
namespace {

using testing::Concat;
using testing::Decode;
using testing::Encode;
using testing::Hex;
using testing::kInvalidRead;
using testing::StderrOf;
using testing::ToHex;

std::vector<uint8_t> Repeat(uint8_t byte, size_t count) {
  return std::vector<uint8_t>(count, byte);
}

struct WireCase {
  const char* name;
  EncodableValue value;
  std::vector<uint8_t> bytes;
};

std::vector<WireCase> WireCases() {
  return {
      {"null", EncodableValue(), Hex("00")},
      {"true", EncodableValue(true), Hex("01")},
      {"false", EncodableValue(false), Hex("02")},
      {"int32", EncodableValue(int32_t{-2}), Hex("03 FE FF FF FF")},
      {"int64", EncodableValue(int64_t{0x0102030405060708}), Hex("04 08 07 06 05 04 03 02 01")},
      {"double 1.0", EncodableValue(1.0), Hex("06 00 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F")},
      {"empty string", EncodableValue(""), Hex("07 00")},
      {"string", EncodableValue("hello"), Hex("07 05 68 65 6C 6C 6F")},
      {"string of 253", EncodableValue(std::string(253, 'a')),
       Concat(Hex("07 FD"), Repeat('a', 253))},
      {"string of 254", EncodableValue(std::string(254, 'a')),
       Concat(Hex("07 FE FE 00"), Repeat('a', 254))},
      {"string of 300", EncodableValue(std::string(300, 'b')),
       Concat(Hex("07 FE 2C 01"), Repeat('b', 300))},
      {"string of 65535", EncodableValue(std::string(65535, 'c')),
       Concat(Hex("07 FE FF FF"), Repeat('c', 65535))},
      {"string of 65536", EncodableValue(std::string(65536, 'd')),
       Concat(Hex("07 FF 00 00 01 00"), Repeat('d', 65536))},
      {"uint8 list", EncodableValue(std::vector<uint8_t>{1, 2, 0xFF}), Hex("08 03 01 02 FF")},
      {"empty uint8 list", EncodableValue(std::vector<uint8_t>{}), Hex("08 00")},
      {"int32 list", EncodableValue(std::vector<int32_t>{1, 2}),
       Hex("09 02 00 00 01 00 00 00 02 00 00 00")},
      {"empty int32 list", EncodableValue(std::vector<int32_t>{}), Hex("09 00 00 00")},
      {"empty double list", EncodableValue(std::vector<double>{}), Hex("0B 00 00 00 00 00 00 00")},
      {"int64 list", EncodableValue(std::vector<int64_t>{-1}),
       Hex("0A 01 00 00 00 00 00 00 FF FF FF FF FF FF FF FF")},
      {"double list", EncodableValue(std::vector<double>{1.0}),
       Hex("0B 01 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F")},
      {"float32 list", EncodableValue(std::vector<float>{1.0f, -2.0f}),
       Hex("0E 02 00 00 00 00 80 3F 00 00 00 C0")},
      {"list", EncodableValue(ValueList{EncodableValue(int32_t{1}), EncodableValue("a")}),
       Hex("0C 02 03 01 00 00 00 07 01 61")},
      {"list with a double after a name",
       EncodableValue(ValueList{EncodableValue("ab"), EncodableValue(2.0)}),
       Hex("0C 02 07 02 61 62 06 00 00 00 00 00 00 00 00 40")},
      {"map", EncodableValue(ValueMap{{EncodableValue("audio"), EncodableValue(true)}}),
       Hex("0D 01 07 05 61 75 64 69 6F 01")},
      {"nested",
       EncodableValue(
           ValueMap{{EncodableValue(int32_t{1}), EncodableValue(ValueList{EncodableValue()})}}),
       Hex("0D 01 03 01 00 00 00 0C 01 00")},
  };
}

TEST(StandardCodecSerializerTest, ValuesOfEveryAlternativeMatchTheWireAndRoundTrip) {
  for (const WireCase& c : WireCases()) {
    EXPECT_EQ(ToHex(Encode(c.value)), ToHex(c.bytes)) << c.name;
    testing::Decoded decoded = Decode(c.bytes);
    EXPECT_EQ(decoded.value.index(), c.value.index()) << c.name;
    EXPECT_TRUE(testing::Equivalent(decoded.value, c.value)) << c.name;
    EXPECT_EQ(decoded.remaining, 0u) << c.name;
    EXPECT_EQ(decoded.stderr_, "") << c.name;
  }
}

// A writer that is not exactly the in-memory one, so the serializer takes its
// field-by-field path instead of writing into the array directly.
class PlainStreamWriter : public ByteBufferStreamWriter {
 public:
  using ByteBufferStreamWriter::ByteBufferStreamWriter;
};

// The direct path grows the array ahead of its writes and pads by skipping
// zeroed room, so it must agree with the field-by-field path wherever the
// value starts (padding depends on the offset), whatever the array already
// holds, and for payloads large enough to be appended in bulk.
TEST(StandardCodecSerializerTest, DirectAndStreamedEncodingsAgreeAtEveryOffset) {
  std::vector<EncodableValue> values;
  for (const WireCase& c : WireCases()) values.push_back(c.value);
  values.push_back(EncodableValue(std::vector<double>(200, -0.5)));
  values.push_back(EncodableValue(std::vector<float>(300, 2.0f)));
  values.push_back(EncodableValue(ValueList{EncodableValue(std::vector<uint8_t>(2000, 7)),
                                            EncodableValue(1.5), EncodableValue(int32_t{3})}));
  const auto& serializer = StandardCodecSerializer::SharedInstance();
  for (size_t v = 0; v < values.size(); ++v) {
    for (size_t prefix = 0; prefix < 9; ++prefix) {
      std::vector<uint8_t> direct(prefix, 0xAA);
      direct.reserve(prefix + (v % 2) * 300);  // with and without spare capacity
      ByteBufferStreamWriter direct_writer(&direct);
      serializer.WriteValue(values[v], &direct_writer);
      serializer.WriteValue(EncodableValue(true), &direct_writer);

      std::vector<uint8_t> streamed(prefix, 0xAA);
      PlainStreamWriter streamed_writer(&streamed);
      serializer.WriteValue(values[v], &streamed_writer);
      serializer.WriteValue(EncodableValue(true), &streamed_writer);
      ASSERT_EQ(ToHex(direct), ToHex(streamed)) << "value " << v << " after " << prefix;
    }
  }
}

TEST(StandardCodecSerializerTest, SizeForms) {
  struct Case {
    size_t size;
    const char* bytes;
  };
  const Case cases[] = {{0, "00"},
                        {253, "FD"},
                        {254, "FE FE 00"},
                        {65535, "FE FF FF"},
                        {65536, "FF 00 00 01 00"},
                        {0xFFFFFFFF, "FF FF FF FF FF"}};
  const auto& serializer = StandardCodecSerializer::SharedInstance();
  for (const Case& c : cases) {
    std::vector<uint8_t> out;
    ByteBufferStreamWriter writer(&out);
    serializer.WriteLength(c.size, &writer);
    EXPECT_EQ(ToHex(out), c.bytes) << c.size;
    ByteBufferStreamReader reader(out.data(), out.size());
    EXPECT_EQ(serializer.ReadLength(&reader), c.size);
  }
}

// An empty typed list in the middle of a message used to be written without
// padding, and the reader's alignment skip then swallowed the next value's tag.
TEST(StandardCodecSerializerTest, EmptyTypedListDoesNotShiftTheNextValue) {
  EncodableValue map(ValueMap{{EncodableValue("a"), EncodableValue(std::vector<int32_t>{})},
                              {EncodableValue("b"), EncodableValue(int32_t{1})}});
  std::vector<uint8_t> bytes = Encode(map);
  EXPECT_EQ(ToHex(bytes), "0D 02 07 01 61 09 00 00 07 01 62 03 01 00 00 00");
  testing::Decoded decoded = Decode(bytes);
  EXPECT_EQ(decoded.stderr_, "");
  EXPECT_TRUE(testing::Equivalent(decoded.value, map));

  // The unpadded form at the end of a message still reads, without a diagnostic.
  decoded = Decode(Hex("09 00"));
  EXPECT_EQ(decoded.value.index(), 7u);
  EXPECT_EQ(decoded.stderr_, "");
}

TEST(StandardCodecSerializerTest, TagFiveReadsAsString) {
  testing::Decoded decoded = Decode(Hex("05 02 61 62"));
  EXPECT_EQ(std::get<std::string>(decoded.value), "ab");
  EXPECT_EQ(decoded.stderr_, "");
}

TEST(StandardCodecSerializerTest, MapsAreWrittenInKeyOrderAndReadKeepingTheFirstDuplicate) {
  // Keys of every encodable alternative, inserted from the last to the first.
  std::vector<EncodableValue> keys = {
      EncodableValue(std::vector<float>{1}),
      EncodableValue(ValueMap{}),
      EncodableValue(ValueList{}),
      EncodableValue(std::vector<double>{1}),
      EncodableValue(std::vector<int64_t>{1}),
      EncodableValue(std::vector<int32_t>{1}),
      EncodableValue(std::vector<uint8_t>{1}),
      EncodableValue("s"),
      EncodableValue(0.5),
      EncodableValue(int64_t{1}),
      EncodableValue(int32_t{1}),
      EncodableValue(true),
      EncodableValue(false),
      EncodableValue(),
  };
  ValueMap map;
  for (const auto& key : keys) map[key] = EncodableValue(int32_t{0});
  std::vector<uint8_t> bytes = Encode(EncodableValue(map));
  testing::Decoded decoded = Decode(bytes);
  ASSERT_EQ(decoded.stderr_, "");
  std::vector<uint8_t> tags;
  for (const auto& entry : std::get<ValueMap>(decoded.value)) {
    tags.push_back(Encode(entry.first)[0]);
  }
  EXPECT_EQ(ToHex(tags), "00 02 01 03 04 06 07 08 09 0A 0B 0C 0D 0E");

  // {"k": 1, "k": 2} keeps 1.
  decoded = Decode(Hex("0D 02 07 01 6B 03 01 00 00 00 07 01 6B 03 02 00 00 00"));
  const auto& dup = std::get<ValueMap>(decoded.value);
  ASSERT_EQ(dup.size(), 1u);
  EXPECT_EQ(std::get<int32_t>(dup.at(EncodableValue("k"))), 1);
  EXPECT_EQ(decoded.remaining, 0u);
}

// A repeated key keeps its first value, whatever kind the repeated value is,
// and the repeat is read past so the entry after it still decodes.
TEST(StandardCodecSerializerTest, RepeatedKeysKeepTheFirstValueOfEveryKind) {
  struct Case {
    const char* name;
    const char* repeat;  // the second value given for key "k"
  };
  const Case cases[] = {
      {"null", "00"},
      {"bool", "02"},
      {"int64", "04 02 00 00 00 00 00 00 00"},
      {"string", "07 02 68 69"},
      {"string over the bytes left", "07 7F 68 69"},
      {"double (tag at 13, two padding bytes)", "06 00 00 00 00 00 00 00 00 F0 3F"},
      {"list", "0C 02 01 07 00"},
      {"map", "0D 01 07 01 6B 01"},
      {"byte list", "08 01 05"},
  };
  for (const Case& c : cases) {
    // {"k": 1, "k": <repeat>, "z": true}
    std::vector<uint8_t> message = Concat(
        Concat(Hex("0D 03 07 01 6B 03 01 00 00 00 07 01 6B"), Hex(c.repeat)), Hex("07 01 7A 01"));
    testing::Decoded decoded = Decode(message);
    const auto& map = std::get<ValueMap>(decoded.value);
    EXPECT_EQ(map.size(), 2u) << c.name;
    EXPECT_EQ(std::get<int32_t>(map.at(EncodableValue("k"))), 1) << c.name;
    if (decoded.stderr_.empty()) {
      EXPECT_EQ(decoded.remaining, 0u) << c.name;
      EXPECT_TRUE(std::get<bool>(map.at(EncodableValue("z")))) << c.name;
    }
  }
}

TEST(StandardCodecSerializerTest, CustomValueIsWrittenAsNullWithADiagnostic) {
  std::vector<uint8_t> bytes;
  std::string err = StderrOf([&] {
    bytes = Encode(EncodableValue(ValueList{EncodableValue(CustomValue(1)), EncodableValue(true)}));
  });
  EXPECT_EQ(ToHex(bytes), "0C 02 00 01");
  EXPECT_EQ(err,
            "Unhandled custom type in StandardCodecSerializer::WriteValue. Custom types require "
            "codec extensions.\n");
}

// Short and malformed messages: what they decode to (re-encoded), how many
// bytes stay unread, and the exact diagnostics.
TEST(StandardCodecSerializerTest, ShortAndMalformedMessages) {
  const std::string kRead = kInvalidRead;
  struct Case {
    const char* name;
    const char* message;
    const char* reencoded;
    size_t remaining;
    std::string diagnostics;
  };
  const Case cases[] = {
      {"empty message", "", "00", 0, kRead},
      {"int32 without payload", "03", "03 00 00 00 00", 0, kRead},
      {"int64 cut short", "04 01 02", "04 00 00 00 00 00 00 00 00", 2, kRead},
      {"double skips past the end", "06 00", "06 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00", 0,
       kRead},
      {"size cut short", "07 FE 05", "07 00", 1, kRead},
      {"list of 3 ending after one int32", "0C 03 03 01 00 00 00", "0C 03 03 01 00 00 00 00 00", 0,
       kRead + kRead},
      {"map of 2 ending inside its first value", "0D 02 07 01 6B 03",
       "0D 02 00 00 07 01 6B 03 00 00 00 00", 0, kRead + kRead + kRead},
      {"unknown tag 15 consumes only the tag", "0F 01", "00", 1,
       "Unknown type in StandardCodecSerializer::ReadValueOfType: 15\n"},
      {"unknown tag 255", "FF", "00", 0,
       "Unknown type in StandardCodecSerializer::ReadValueOfType: 255\n"},
      {"empty typed list aligns past the end", "0E 00", "0E 00 00 00", 0, ""},
  };
  for (const Case& c : cases) {
    testing::Decoded decoded = Decode(Hex(c.message));
    EXPECT_EQ(ToHex(Encode(decoded.value)), c.reencoded) << c.name;
    EXPECT_EQ(decoded.remaining, c.remaining) << c.name;
    EXPECT_EQ(decoded.stderr_, c.diagnostics) << c.name;
  }
}

TEST(StandardCodecSerializerTest, AlignmentSkipPastTheEndIsReportedByTheNextRead) {
  std::vector<uint8_t> bytes = Hex("09 00 03");  // empty int32 list, then an int32 tag
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  const auto& serializer = StandardCodecSerializer::SharedInstance();
  std::string err = StderrOf([&] {
    EXPECT_EQ(std::get<std::vector<int32_t>>(serializer.ReadTaggedValue(&reader)).size(), 0u);
  });
  EXPECT_EQ(err, "");  // the skip to offset 4 itself is silent
  err = StderrOf([&] { EXPECT_EQ(serializer.ReadTaggedValue(&reader).index(), 0u); });
  EXPECT_EQ(err, kInvalidRead);
}

std::string Refusal(size_t declared, size_t left) {
  return "Declared size " + std::to_string(declared) + " needs more than the " +
         std::to_string(left) + " bytes left in StandardCodecSerializer::ReadValueOfType\n";
}

// Declared sizes at the limit of what the rest of the message can carry: the
// first of each pair just fits, the second is refused before allocating.
TEST(StandardCodecSerializerTest, DeclaredSizesJustUnderAndOverTheBytesLeft) {
  struct Case {
    const char* name;
    const char* message;
    const char* reencoded;
    size_t remaining;
    std::string diagnostics;
  };
  const Case cases[] = {
      {"string fits", "07 03 61 62 63", "07 03 61 62 63", 0, ""},
      {"string one over", "07 04 61 62 63", "00", 3, Refusal(4, 3)},
      {"byte list fits", "08 02 01 02", "08 02 01 02", 0, ""},
      {"byte list one over", "08 03 01 02", "00", 2, Refusal(3, 2)},
      {"int32 list fits after padding", "09 01 00 00 01 00 00 00", "09 01 00 00 01 00 00 00", 0,
       ""},
      {"int32 list one over", "09 02 00 00 01 00 00 00", "00", 4, Refusal(2, 4)},
      {"double list one over", "0B 01 00 00 00 00 00 00 00 00 00 00 00 00 F0", "00", 7,
       Refusal(1, 7)},
      {"list fits", "0C 02 00 00", "0C 02 00 00", 0, ""},
      {"list one over", "0C 03 00 00", "00", 2, Refusal(3, 2)},
      {"map fits", "0D 02 01 00 02 00", "0D 02 02 00 01 00", 0, ""},
      {"map one over", "0D 02 00 00 00", "00", 3, Refusal(2, 3)},
      {"string of 4 GiB", "07 FF FF FF FF FF 61", "00", 1, Refusal(0xFFFFFFFF, 1)},
      {"list of 4 G elements", "0C FF FF FF FF FF", "00", 0, Refusal(0xFFFFFFFF, 0)},
      {"float32 list of 4 G elements", "0E FF FF FF FF FF", "00", 0, Refusal(0xFFFFFFFF, 0)},
  };
  for (const Case& c : cases) {
    testing::Decoded decoded = Decode(Hex(c.message));
    EXPECT_EQ(ToHex(Encode(decoded.value)), c.reencoded) << c.name;
    EXPECT_EQ(decoded.remaining, c.remaining) << c.name;
    EXPECT_EQ(decoded.stderr_, c.diagnostics) << c.name;
  }
}

std::vector<uint8_t> NestedLists(int depth) {
  std::vector<uint8_t> bytes;
  for (int i = 1; i < depth; ++i) bytes.insert(bytes.end(), {0x0C, 0x01});
  bytes.insert(bytes.end(), {0x0C, 0x00});
  return bytes;
}

int ListDepth(const EncodableValue& value) {
  int depth = 0;
  const EncodableValue* current = &value;
  while (const auto* list = std::get_if<ValueList>(current)) {
    ++depth;
    if (list->empty()) break;
    current = &list->front();
  }
  return depth;
}

TEST(StandardCodecSerializerTest, NestingJustUnderAndOverTheLimit) {
  const int limit = StandardCodecSerializer::kMaxNestingDepth;
  testing::Decoded at_limit = Decode(NestedLists(limit));
  EXPECT_EQ(ListDepth(at_limit.value), limit);
  EXPECT_EQ(at_limit.stderr_, "");

  const std::string refusal =
      "Nesting deeper than 256 in StandardCodecSerializer::ReadValueOfType\n";
  testing::Decoded over = Decode(NestedLists(limit + 1));
  EXPECT_EQ(ListDepth(over.value), limit);
  EXPECT_EQ(over.stderr_, refusal);

  // Far deeper than any stack would take; maps count as well.
  std::vector<uint8_t> maps;
  for (int i = 0; i < 100000; ++i) maps.insert(maps.end(), {0x0D, 0x01, 0x00});
  testing::Decoded deep = Decode(maps);
  EXPECT_EQ(deep.stderr_, refusal);
  EXPECT_EQ(deep.value.index(), 11u);
}

// A reader derived from the buffer reader: its overrides must still be used.
class CountingReader : public ByteBufferStreamReader {
 public:
  using ByteBufferStreamReader::ByteBufferStreamReader;
  uint8_t NextByte() override {
    ++reads;
    return ByteBufferStreamReader::NextByte();
  }
  void NextBytes(uint8_t* buffer, size_t length) override {
    ++reads;
    ByteBufferStreamReader::NextBytes(buffer, length);
  }
  int reads = 0;
};

class CountingWriter : public ByteBufferStreamWriter {
 public:
  using ByteBufferStreamWriter::ByteBufferStreamWriter;
  void PutByte(uint8_t byte) override {
    ++writes;
    ByteBufferStreamWriter::PutByte(byte);
  }
  void PutBytes(const uint8_t* bytes, size_t length) override {
    ++writes;
    ByteBufferStreamWriter::PutBytes(bytes, length);
  }
  int writes = 0;
};

// Adds nothing, but sees every value read or written, nested ones included.
class ObservingSerializer : public StandardCodecSerializer {
 public:
  void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const override {
    ++values_written;
    StandardCodecSerializer::WriteValue(value, stream);
  }
  EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const override {
    ++values_read;
    return StandardCodecSerializer::ReadValueOfType(type, stream);
  }
  mutable int values_read = 0;
  mutable int values_written = 0;
};

// The in-memory streams have a direct path; derived streams and serializers
// go through the virtual calls. Both must give the same values, diagnostics
// and bytes, well-formed or not.
TEST(StandardCodecSerializerTest, DerivedStreamsAndSerializersDecodeAndEncodeAlike) {
  struct Case {
    const char* name;
    std::vector<uint8_t> message;
    int values;  // values in the message, nested ones included
  };
  const Case cases[] = {
      {"stop map", Hex("0D 02 07 01 61 04 01 00 00 00 00 00 00 00 07 01 62 01"), 5},
      {"list with a double", Hex("0C 02 07 02 61 62 06 00 00 00 00 00 00 00 00 40"), 3},
      {"typed lists", Hex("0C 02 09 00 00 00 0E 01 00 00 00 00 80 3F"), 3},
      {"duplicate key", Hex("0D 02 07 01 6B 01 07 01 6B 02"), 5},
      {"duplicate key with a list value", Hex("0D 02 07 01 6B 01 07 01 6B 0C 01 03 05 00 00 00"),
       6},
      {"non-string keys", Hex("0D 02 00 07 01 61 03 02 00 00 00 0C 00"), 5},
      {"key string one over", Hex("0D 01 07 09 61 01"), 3},
      {"map ending inside a value", Hex("0D 02 07 01 6B 03"), 5},
      {"string one over", Hex("07 04 61 62 63"), 1},
      {"unknown tag inside a list", Hex("0C 02 0F 00"), 3},
      {"nesting over the limit", NestedLists(StandardCodecSerializer::kMaxNestingDepth + 1),
       StandardCodecSerializer::kMaxNestingDepth + 1},
  };
  const auto& plain = StandardCodecSerializer::SharedInstance();
  for (const Case& c : cases) {
    testing::Decoded expected = Decode(c.message);
    const std::string expected_hex = ToHex(Encode(expected.value));

    CountingReader reader(c.message.data(), c.message.size());
    std::string err = StderrOf(
        [&] { EXPECT_EQ(ToHex(Encode(plain.ReadTaggedValue(&reader))), expected_hex) << c.name; });
    EXPECT_EQ(err, expected.stderr_) << c.name;
    EXPECT_EQ(reader.RemainingBytes(), expected.remaining) << c.name;
    EXPECT_GT(reader.reads, 0) << c.name;

    ObservingSerializer observing;
    ByteBufferStreamReader buffer(c.message.data(), c.message.size());
    EncodableValue value;
    err = StderrOf([&] { value = observing.ReadTaggedValue(&buffer); });
    EXPECT_EQ(err, expected.stderr_) << c.name;
    EXPECT_EQ(buffer.RemainingBytes(), expected.remaining) << c.name;
    EXPECT_EQ(observing.values_read, c.values) << c.name;

    std::vector<uint8_t> out;
    CountingWriter writer(&out);
    observing.WriteValue(value, &writer);
    EXPECT_EQ(ToHex(out), expected_hex) << c.name;
    EXPECT_GT(writer.writes, 0) << c.name;
    EXPECT_GT(observing.values_written, 0) << c.name;
  }
}

}  // namespace
}  // namespace flutter
