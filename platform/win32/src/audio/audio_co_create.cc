#include "audio/audio_state.h"
#include "win32sim/co_create.h"

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD /*cls_context*/, REFIID iid,
                         LPVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (HRESULT hr = winsim::InjectedFailure("CoCreateInstance"); FAILED(hr)) return hr;
  if (HRESULT hr = winsim::ComApartmentCheck(); FAILED(hr)) return hr;
  if (clsid != CLSID_MMDeviceEnumerator) return REGDB_E_CLASSNOTREG;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  IMMDeviceEnumerator* enumerator = winsim::audio::NewDeviceEnumerator();
  const HRESULT hr = enumerator->QueryInterface(iid, object);
  enumerator->Release();
  return hr;
}
