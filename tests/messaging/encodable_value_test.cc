#include "messaging/encodable_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "codec_test_support.h"

namespace flutter {
namespace {

using testing::Equivalent;

TEST(EncodableValueTest, ConstructionPicksTheAlternativeOfThePayload) {
  EXPECT_EQ(EncodableValue().index(), 0u);
  EXPECT_EQ(EncodableValue(false).index(), 1u);
  EXPECT_EQ(EncodableValue(int32_t{7}).index(), 2u);
  EXPECT_EQ(EncodableValue(int64_t{7}).index(), 3u);
  EXPECT_EQ(EncodableValue(0.5).index(), 4u);
  EXPECT_EQ(EncodableValue("text").index(), 5u);  // a C string is a string, not a bool
  const char* c_string = "abc";
  EXPECT_EQ(EncodableValue(c_string).index(), 5u);
  EXPECT_EQ(EncodableValue(std::string("s")).index(), 5u);
  EXPECT_EQ(EncodableValue(std::vector<uint8_t>{1}).index(), 6u);
  EXPECT_EQ(EncodableValue(std::vector<int32_t>{1}).index(), 7u);
  EXPECT_EQ(EncodableValue(std::vector<int64_t>{1}).index(), 8u);
  EXPECT_EQ(EncodableValue(std::vector<double>{1}).index(), 9u);
  EXPECT_EQ(EncodableValue(ValueList{}).index(), 10u);
  EXPECT_EQ(EncodableValue(ValueMap{}).index(), 11u);
  EXPECT_EQ(EncodableValue(CustomValue(42)).index(), 12u);
  EXPECT_EQ(EncodableValue(std::vector<float>{1}).index(), 13u);

  EncodableValue assigned(int32_t{1});
  assigned = "now a string";
  EXPECT_EQ(assigned.index(), 5u);
}

TEST(EncodableValueTest, TotalOrder) {
  struct Case {
    const char* name;
    EncodableValue less;
    EncodableValue greater;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"null before bool", EncodableValue(), EncodableValue(false)},
      {"bool before int32", EncodableValue(true), EncodableValue(int32_t{-5})},
      {"int32 1 before int64 0", EncodableValue(int32_t{1}), EncodableValue(int64_t{0})},
      {"int64 before double", EncodableValue(int64_t{9}), EncodableValue(-1.0)},
      {"double before string", EncodableValue(1e9), EncodableValue("")},
      {"custom before float32 list", EncodableValue(CustomValue(1)),
       EncodableValue(std::vector<float>{})},
      {"false before true", EncodableValue(false), EncodableValue(true)},
      {"signed int32", EncodableValue(int32_t{-1}), EncodableValue(int32_t{0})},
      {"signed int64", EncodableValue(int64_t{-1}), EncodableValue(int64_t{1})},
      {"double", EncodableValue(-0.5), EncodableValue(0.25)},
      {"empty string first", EncodableValue(""), EncodableValue("a")},
      {"abc before abcd", EncodableValue("abc"), EncodableValue("abcd")},
      {"abcd before abd", EncodableValue("abcd"), EncodableValue("abd")},
      {"string bytes unsigned", EncodableValue("a\x7f"), EncodableValue("a\x80")},
      {"embedded zero byte", EncodableValue(std::string("a\0b", 3)),
       EncodableValue(std::string("a\0c", 3))},
      {"short string before its long extension", EncodableValue(std::string(16, 'k')),
       EncodableValue(std::string(17, 'k'))},
      {"long strings by a late unsigned byte", EncodableValue(std::string(20, 'k') + "\x7f"),
       EncodableValue(std::string(20, 'k') + "\x80")},
      {"bytes unsigned", EncodableValue(std::vector<uint8_t>{0x7f}),
       EncodableValue(std::vector<uint8_t>{0x80})},
      {"empty byte list first", EncodableValue(std::vector<uint8_t>{}),
       EncodableValue(std::vector<uint8_t>{0})},
      {"int32 list signed", EncodableValue(std::vector<int32_t>{-1}),
       EncodableValue(std::vector<int32_t>{0})},
      {"int64 list prefix", EncodableValue(std::vector<int64_t>{1}),
       EncodableValue(std::vector<int64_t>{1, 0})},
      {"double list walks past NaN", EncodableValue(std::vector<double>{nan, 1.0}),
       EncodableValue(std::vector<double>{0.0, 2.0})},
      {"float32 list", EncodableValue(std::vector<float>{1.0f}),
       EncodableValue(std::vector<float>{1.5f})},
      {"empty list first", EncodableValue(ValueList{}),
       EncodableValue(ValueList{EncodableValue()})},
      {"list by element",
       EncodableValue(ValueList{EncodableValue(int32_t{1}), EncodableValue("z")}),
       EncodableValue(ValueList{EncodableValue(int32_t{2}), EncodableValue("a")})},
      {"map by first differing value",
       EncodableValue(ValueMap{{EncodableValue("a"), EncodableValue(int32_t{1})},
                               {EncodableValue("b"), EncodableValue(int32_t{9})}}),
       EncodableValue(ValueMap{{EncodableValue("a"), EncodableValue(int32_t{2})},
                               {EncodableValue("b"), EncodableValue(int32_t{0})}})},
      {"map prefix", EncodableValue(ValueMap{{EncodableValue("a"), EncodableValue()}}),
       EncodableValue(ValueMap{{EncodableValue("a"), EncodableValue()},
                               {EncodableValue("b"), EncodableValue()}})},
      {"map by key before value",
       EncodableValue(ValueMap{{EncodableValue("a"), EncodableValue(int32_t{9})}}),
       EncodableValue(ValueMap{{EncodableValue("b"), EncodableValue(int32_t{0})}})},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(c.less < c.greater) << c.name;
    EXPECT_FALSE(c.greater < c.less) << c.name;
  }

  const std::pair<EncodableValue, EncodableValue> equivalent[] = {
      {EncodableValue(), EncodableValue()},
      {EncodableValue(0.0), EncodableValue(-0.0)},
      {EncodableValue(nan), EncodableValue(1.0)},
      {EncodableValue(std::vector<double>{nan}), EncodableValue(std::vector<double>{3.0})},
      {EncodableValue(ValueList{EncodableValue("x")}),
       EncodableValue(ValueList{EncodableValue("x")})},
  };
  for (const auto& pair : equivalent) EXPECT_TRUE(Equivalent(pair.first, pair.second));
}

TEST(EncodableValueTest, MapKeysOfDifferentAlternativesStayDistinct) {
  ValueMap map;
  map[EncodableValue(int64_t{1})] = EncodableValue("int64");
  map[EncodableValue(int32_t{1})] = EncodableValue("int32");
  ASSERT_EQ(map.size(), 2u);
  EXPECT_EQ(map.begin()->first.index(), 2u);

  // 0.0 and -0.0 are one key; the keep-existing insert leaves the first.
  map.insert({EncodableValue(0.0), EncodableValue("plus")});
  map.insert({EncodableValue(-0.0), EncodableValue("minus")});
  EXPECT_EQ(map.size(), 3u);
  EXPECT_EQ(std::get<std::string>(map[EncodableValue(-0.0)]), "plus");

  // Subscript-then-assign replaces the value.
  map[EncodableValue(0.0)] = EncodableValue("replaced");
  EXPECT_EQ(std::get<std::string>(map.at(EncodableValue(0.0))), "replaced");
}

TEST(EncodableValueTest, CopiesAreDeepAndIndependent) {
  ValueMap source{{EncodableValue("b"), EncodableValue(ValueList{EncodableValue(int32_t{1})})},
                  {EncodableValue("a"), EncodableValue(int32_t{2})}};
  EncodableValue original(source);
  EncodableValue copy = original;
  auto& copied_map = std::get<ValueMap>(copy);
  std::get<ValueList>(copied_map[EncodableValue("b")]).push_back(EncodableValue("more"));
  copied_map.erase(EncodableValue("a"));

  const auto& original_map = std::get<ValueMap>(original);
  ASSERT_EQ(original_map.size(), 2u);
  EXPECT_EQ(std::get<ValueList>(original_map.at(EncodableValue("b"))).size(), 1u);
  EXPECT_EQ(std::get<std::string>(original_map.begin()->first), "a");
}

struct Tracked {
  int id;
};

TEST(EncodableValueTest, CustomValuesCopyTheirPayloadAndMatchOnlyThemselves) {
  EncodableValue source{CustomValue(Tracked{5})};
  EncodableValue moved = std::move(source);
  // Moving copies the payload: the source keeps its own.
  const auto* kept =
      std::get<CustomValue>(source).TryGet<Tracked>();  // NOLINT(bugprone-use-after-move)
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->id, 5);
  EXPECT_EQ(std::get<CustomValue>(moved).TryGet<Tracked>()->id, 5);
  EXPECT_EQ(std::get<CustomValue>(moved).TryGet<int>(), nullptr);

  ValueMap map;
  map[moved] = EncodableValue(true);
  EncodableValue copy_of_key = moved;
  EXPECT_EQ(map.count(copy_of_key), 0u);
  EXPECT_TRUE(Equivalent(moved, moved));
}

// A payload whose copy throws once armed: used to leave a value holding no
// alternative.
struct ThrowingCopy {
  bool armed = false;
  ThrowingCopy() = default;
  ThrowingCopy(ThrowingCopy&&) = default;
  ThrowingCopy(const ThrowingCopy& other) : armed(other.armed) {
    if (armed) throw std::runtime_error("copy refused");
  }
};

TEST(EncodableValueTest, FailedAssignmentLeavesNoAlternativeThatOrdersFirstAndEncodesNull) {
  ThrowingCopy payload;
  payload.armed = true;
  CustomValue custom{std::move(payload)};
  EncodableValue value("was a string");
  EXPECT_THROW(value = custom, std::runtime_error);
  ASSERT_TRUE(value.valueless_by_exception());

  EXPECT_TRUE(value < EncodableValue());
  EXPECT_FALSE(EncodableValue() < value);
  EXPECT_EQ(testing::Encode(value), testing::Hex("00"));

  value = EncodableValue(int32_t{3});
  EXPECT_EQ(std::get<int32_t>(value), 3);
}

}  // namespace
}  // namespace flutter
