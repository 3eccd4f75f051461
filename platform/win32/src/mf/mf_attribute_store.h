// The typed key/value store behind every simulated IMFAttributes (attribute
// sets, media types, samples). Thread-safe, as Media Foundation's is.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "com/com_ref.h"
#include "mferror.h"
#include "mfobjects.h"

namespace winsim {

struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof a) < 0; }
};

class AttributeStore {
 public:
  using Value = std::variant<UINT32, UINT64, double, GUID, std::wstring, std::vector<UINT8>,
                             ComRef<IUnknown>>;

  HRESULT Set(REFGUID key, Value value);
  // MF_E_ATTRIBUTENOTFOUND when absent, MF_E_INVALIDTYPE when of another type.
  template <typename T>
  HRESULT Get(REFGUID key, T* out) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = items_.find(key);
    if (it == items_.end()) return MF_E_ATTRIBUTENOTFOUND;
    const T* value = std::get_if<T>(&it->second);
    if (value == nullptr) return MF_E_INVALIDTYPE;
    *out = *value;
    return S_OK;
  }
  HRESULT Type(REFGUID key, MF_ATTRIBUTE_TYPE* type) const;
  HRESULT Delete(REFGUID key);
  void Clear();
  UINT32 Count() const;
  std::map<GUID, Value, GuidLess> Snapshot() const;
  bool Equals(const AttributeStore& other) const;
  void Lock() const { mutex_.lock(); }
  void Unlock() const { mutex_.unlock(); }

 private:
  // Recursive so that LockStore/UnlockStore may bracket other calls.
  mutable std::recursive_mutex mutex_;
  std::map<GUID, Value, GuidLess> items_;
};

}  // namespace winsim
