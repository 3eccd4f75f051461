#include "messaging/encodable_value.h"

#include <cstddef>

namespace flutter {
namespace {

// Lexicographic walk: the first position where one side is less decides; a
// left sequence that ends first is less. Incomparable elements (NaN) move on.
template <typename Sequence>
bool SequenceLess(const Sequence& a, const Sequence& b) {
  auto left = a.begin();
  auto right = b.begin();
  for (; left != a.end(); ++left, ++right) {
    if (right == b.end()) return false;
    if (*left < *right) return true;
    if (*right < *left) return false;
  }
  return right != b.end();
}

bool MapLess(const ValueMap& a, const ValueMap& b) {
  auto left = a.begin();
  auto right = b.begin();
  for (; left != a.end(); ++left, ++right) {
    if (right == b.end()) return false;
    if (left->first < right->first) return true;
    if (right->first < left->first) return false;
    if (left->second < right->second) return true;
    if (right->second < left->second) return false;
  }
  return right != b.end();
}

}  // namespace

bool internal::ValueLess(const EncodableValue& a, const EncodableValue& b) {
  // variant_npos is the largest size_t, so compare "holds nothing" explicitly:
  // it orders before every other value.
  if (a.valueless_by_exception() || b.valueless_by_exception()) {
    return a.valueless_by_exception() && !b.valueless_by_exception();
  }
  if (a.index() != b.index()) return a.index() < b.index();
  using V = EncodableValue::super;
  const V& x = a;
  const V& y = b;
  switch (a.index()) {
    case 0:
      return false;
    case 1:
      return !std::get<1>(x) && std::get<1>(y);
    case 2:
      return std::get<2>(x) < std::get<2>(y);
    case 3:
      return std::get<3>(x) < std::get<3>(y);
    case 4:
      return std::get<4>(x) < std::get<4>(y);
    case 5:
      return StringLess(std::get<5>(x), std::get<5>(y));
    case 6:
      return SequenceLess(std::get<6>(x), std::get<6>(y));
    case 7:
      return SequenceLess(std::get<7>(x), std::get<7>(y));
    case 8:
      return SequenceLess(std::get<8>(x), std::get<8>(y));
    case 9:
      return SequenceLess(std::get<9>(x), std::get<9>(y));
    case 10:
      return SequenceLess(std::get<10>(x), std::get<10>(y));
    case 11:
      return MapLess(std::get<11>(x), std::get<11>(y));
    case 12:
      return std::get<12>(x) < std::get<12>(y);
    case 13:
      return SequenceLess(std::get<13>(x), std::get<13>(y));
  }
  return false;
}

}  // namespace flutter
