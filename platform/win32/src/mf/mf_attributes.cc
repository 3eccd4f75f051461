#include "mf/mf_attributes_impl.h"
#include "mfapi.h"

namespace winsim {
namespace {

class Attributes final : public AttributesImpl<IMFAttributes> {
 public:
  Attributes() : AttributesImpl<IMFAttributes>("IMFAttributes") {}
};

const AttributeStore* StoreOf(IMFAttributes* attributes) {
  const auto* holder = dynamic_cast<const AttributeHolder*>(attributes);
  return holder == nullptr ? nullptr : &holder->store();
}

// Whether every item of `subset` is in `superset` with the same value.
bool Contains(const AttributeStore& superset, const AttributeStore& subset) {
  AttributeStore filtered;
  const auto big = superset.Snapshot();
  for (const auto& [key, value] : subset.Snapshot()) {
    auto it = big.find(key);
    if (it == big.end()) return false;
    filtered.Set(key, it->second);
  }
  return filtered.Equals(subset);
}

}  // namespace

IMFAttributes* NewAttributeStore() { return new Attributes(); }

HRESULT CopyAttributes(const AttributeStore& from, IMFAttributes* to) {
  for (const auto& [key, value] : from.Snapshot()) {
    HRESULT hr = S_OK;
    if (const auto* u32 = std::get_if<UINT32>(&value)) hr = to->SetUINT32(key, *u32);
    if (const auto* u64 = std::get_if<UINT64>(&value)) hr = to->SetUINT64(key, *u64);
    if (const auto* real = std::get_if<double>(&value)) hr = to->SetDouble(key, *real);
    if (const auto* guid = std::get_if<GUID>(&value)) hr = to->SetGUID(key, *guid);
    if (const auto* text = std::get_if<std::wstring>(&value))
      hr = to->SetString(key, text->c_str());
    if (const auto* blob = std::get_if<std::vector<UINT8>>(&value)) {
      hr = to->SetBlob(key, blob->data(), static_cast<UINT32>(blob->size()));
    }
    if (const auto* unknown = std::get_if<ComRef<IUnknown>>(&value)) {
      hr = to->SetUnknown(key, unknown->Get());
    }
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT CompareAttributes(const AttributeStore& ours, IMFAttributes* theirs,
                          MF_ATTRIBUTES_MATCH_TYPE match, BOOL* result) {
  if (theirs == nullptr || result == nullptr) return E_POINTER;
  const AttributeStore* other = StoreOf(theirs);
  if (other == nullptr) return E_NOTIMPL;
  bool same = false;
  switch (match) {
    case MF_ATTRIBUTES_MATCH_OUR_ITEMS:
      same = Contains(*other, ours);
      break;
    case MF_ATTRIBUTES_MATCH_THEIR_ITEMS:
      same = Contains(ours, *other);
      break;
    case MF_ATTRIBUTES_MATCH_ALL_ITEMS:
      same = ours.Equals(*other);
      break;
    case MF_ATTRIBUTES_MATCH_SMALLER:
      same = ours.Count() <= other->Count() ? Contains(*other, ours) : Contains(ours, *other);
      break;
    default:
      return E_NOTIMPL;
  }
  *result = same ? TRUE : FALSE;
  return S_OK;
}

}  // namespace winsim

HRESULT MFCreateAttributes(IMFAttributes** ppMFAttributes, UINT32 /*cInitialSize*/) {
  if (ppMFAttributes == nullptr) return E_POINTER;
  *ppMFAttributes = nullptr;
  if (HRESULT hr = winsim::InjectedFailure("MFCreateAttributes"); FAILED(hr)) return hr;
  *ppMFAttributes = new winsim::Attributes();
  return S_OK;
}
