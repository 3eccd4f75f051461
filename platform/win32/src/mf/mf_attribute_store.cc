#include "mf/mf_attribute_store.h"

namespace winsim {
namespace {

bool SameValue(const AttributeStore::Value& a, const AttributeStore::Value& b) {
  if (a.index() != b.index()) return false;
  if (const auto* unknown = std::get_if<ComRef<IUnknown>>(&a)) {
    return unknown->Get() == std::get<ComRef<IUnknown>>(b).Get();
  }
  return std::visit(
      [&b](const auto& left) {
        using T = std::decay_t<decltype(left)>;
        if constexpr (std::is_same_v<T, ComRef<IUnknown>>) {
          return false;
        } else {
          return left == std::get<T>(b);
        }
      },
      a);
}

}  // namespace

HRESULT AttributeStore::Set(REFGUID key, Value value) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  items_[key] = std::move(value);
  return S_OK;
}

HRESULT AttributeStore::Type(REFGUID key, MF_ATTRIBUTE_TYPE* type) const {
  static constexpr MF_ATTRIBUTE_TYPE kTypes[] = {
      MF_ATTRIBUTE_UINT32, MF_ATTRIBUTE_UINT64, MF_ATTRIBUTE_DOUBLE,  MF_ATTRIBUTE_GUID,
      MF_ATTRIBUTE_STRING, MF_ATTRIBUTE_BLOB,   MF_ATTRIBUTE_IUNKNOWN};
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto it = items_.find(key);
  if (it == items_.end()) return MF_E_ATTRIBUTENOTFOUND;
  *type = kTypes[it->second.index()];
  return S_OK;
}

HRESULT AttributeStore::Delete(REFGUID key) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  items_.erase(key);
  return S_OK;
}

void AttributeStore::Clear() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  items_.clear();
}

UINT32 AttributeStore::Count() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return static_cast<UINT32>(items_.size());
}

std::map<GUID, AttributeStore::Value, GuidLess> AttributeStore::Snapshot() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return items_;
}

bool AttributeStore::Equals(const AttributeStore& other) const {
  const auto mine = Snapshot();
  const auto theirs = other.Snapshot();
  if (mine.size() != theirs.size()) return false;
  for (const auto& [key, value] : mine) {
    auto it = theirs.find(key);
    if (it == theirs.end() || !SameValue(value, it->second)) return false;
  }
  return true;
}

}  // namespace winsim
