#include "mf/mf_attributes_impl.h"
#include "mfapi.h"

namespace winsim {
namespace {

class MediaType final : public AttributesImpl<IMFMediaType> {
 public:
  MediaType() : AttributesImpl<IMFMediaType>("IMFMediaType") {}

  HRESULT GetMajorType(GUID* major) override {
    if (major == nullptr) return E_POINTER;
    // An untyped media type reports MF_E_ATTRIBUTENOTFOUND, as on Windows.
    return store().Get(MF_MT_MAJOR_TYPE, major);
  }
  HRESULT IsCompressedFormat(BOOL* compressed) override {
    if (compressed == nullptr) return E_POINTER;
    GUID subtype{};
    const bool known = SUCCEEDED(store().Get(MF_MT_SUBTYPE, &subtype));
    const bool raw = known && (subtype == MFVideoFormat_RGB32 || subtype == MFAudioFormat_PCM ||
                               subtype == MFAudioFormat_Float);
    *compressed = raw ? FALSE : TRUE;
    return S_OK;
  }
  HRESULT IsEqual(IMFMediaType* other, DWORD* flags) override {
    if (other == nullptr || flags == nullptr) return E_POINTER;
    BOOL same = FALSE;
    if (HRESULT hr = Compare(other, MF_ATTRIBUTES_MATCH_ALL_ITEMS, &same); FAILED(hr)) return hr;
    // Major type, format type, format data and user data all equal, or none.
    *flags = same ? 0xF : 0;
    return same ? S_OK : S_FALSE;
  }
  HRESULT GetRepresentation(GUID, LPVOID*) override { return E_NOTIMPL; }
  HRESULT FreeRepresentation(GUID, LPVOID) override { return E_NOTIMPL; }
};

}  // namespace
}  // namespace winsim

HRESULT MFCreateMediaType(IMFMediaType** ppMFType) {
  if (ppMFType == nullptr) return E_POINTER;
  *ppMFType = nullptr;
  if (HRESULT hr = winsim::InjectedFailure("MFCreateMediaType"); FAILED(hr)) return hr;
  *ppMFType = new winsim::MediaType();
  return S_OK;
}
