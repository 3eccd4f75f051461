// The DXGI factory, its adapters and their outputs. A factory reads the
// machine's adapters and outputs when it is made and keeps that view, as
// Windows' factory does ("IDXGIFactory1::EnumAdapters1": re-create the
// factory after the adapters change); IsCurrent tells whether the displays
// changed since. Adapters keep their factory alive and outputs their adapter,
// and each answers from the view it came from, so an output whose display
// went away still describes that display.
#include <dxgi1_5.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <utility>

#include "com/com_ref.h"
#include "dxgi/dxgi_duplication.h"
#include "dxgi/dxgi_machine.h"
#include "dxgi/dxgi_objects.h"
#include "winsim.h"

namespace winsim::dxgi {
namespace {

using View = std::shared_ptr<const MachineView>;

// The methods of IDXGIObject, answered by every DXGI object here: no
// private data, and the parent the object came from.
template <typename Interface>
class DxgiObject : public ComObject<Interface> {
 public:
  DxgiObject(const char* kind, ComRef<IUnknown> parent)
      : ComObject<Interface>(kind), parent_(std::move(parent)) {}

  HRESULT SetPrivateData(REFGUID, UINT, const void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateDataInterface(REFGUID, const IUnknown*) override { return E_NOTIMPL; }
  HRESULT GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
  HRESULT GetParent(REFIID riid, void** parent) override {
    if (parent == nullptr) return DXGI_ERROR_INVALID_CALL;
    *parent = nullptr;
    if (!parent_) return E_NOINTERFACE;
    return parent_->QueryInterface(riid, parent);
  }

 protected:
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IDXGIObject) return static_cast<IDXGIObject*>(this);
    return ComObject<Interface>::FindInterface(riid);
  }

 private:
  ComRef<IUnknown> parent_;
};

class Output final : public DxgiObject<IDXGIOutput5> {
 public:
  Output(ComRef<IUnknown> adapter, const DXGI_OUTPUT_DESC& desc, const DXGI_ADAPTER_DESC1& owner)
      : DxgiObject("IDXGIOutput", std::move(adapter)), desc_(desc), owner_(owner) {}

  HRESULT GetDesc(DXGI_OUTPUT_DESC* desc) override {
    const HRESULT injected = InjectedFailure("IDXGIOutput::GetDesc");
    if (FAILED(injected)) return injected;
    if (desc == nullptr) return DXGI_ERROR_INVALID_CALL;  // "IDXGIOutput::GetDesc"
    *desc = desc_;
    return S_OK;
  }
  HRESULT WaitForVBlank() override { return E_NOTIMPL; }
  HRESULT ReleaseOwnership() override { return E_NOTIMPL; }
  HRESULT GetDisplayModeList1(DXGI_FORMAT, UINT, UINT*, DXGI_MODE_DESC1*) override {
    return E_NOTIMPL;
  }
  HRESULT FindClosestMatchingMode1(const DXGI_MODE_DESC1*, DXGI_MODE_DESC1*, IUnknown*) override {
    return E_NOTIMPL;
  }
  HRESULT GetDisplaySurfaceData1(IDXGIResource*) override { return E_NOTIMPL; }
  HRESULT DuplicateOutput(IUnknown* device, IDXGIOutputDuplication** duplication) override {
    const HRESULT injected = InjectedFailure("IDXGIOutput1::DuplicateOutput");
    if (FAILED(injected)) return injected;
    return DuplicateDisplay(static_cast<IDXGIOutput*>(this), desc_, owner_, device, duplication);
  }
  BOOL SupportsOverlays() override { return FALSE; }
  HRESULT CheckOverlaySupport(DXGI_FORMAT, IUnknown*, UINT*) override { return E_NOTIMPL; }
  HRESULT CheckOverlayColorSpaceSupport(DXGI_FORMAT, DXGI_COLOR_SPACE_TYPE, IUnknown*,
                                        UINT*) override {
    return E_NOTIMPL;
  }
  // The desktop is composed in B8G8R8A8_UNORM only: a list without it gets
  // DXGI_ERROR_UNSUPPORTED (the simulation's choice; the page names no
  // code). Flags other than DXGI_OUTDUPL_COMPOSITED_UI_CAPTURE_ONLY and an
  // empty list are E_INVALIDARG.
  HRESULT DuplicateOutput1(IUnknown* device, UINT flags, UINT count, const DXGI_FORMAT* formats,
                           IDXGIOutputDuplication** duplication) override {
    const HRESULT injected = InjectedFailure("IDXGIOutput5::DuplicateOutput1");
    if (FAILED(injected)) return injected;
    if (duplication != nullptr) *duplication = nullptr;
    if ((flags & ~static_cast<UINT>(DXGI_OUTDUPL_COMPOSITED_UI_CAPTURE_ONLY)) != 0 || count == 0 ||
        formats == nullptr) {
      return E_INVALIDARG;
    }
    if (std::find(formats, formats + count, DXGI_FORMAT_B8G8R8A8_UNORM) == formats + count) {
      return DXGI_ERROR_UNSUPPORTED;
    }
    return DuplicateDisplay(static_cast<IDXGIOutput*>(this), desc_, owner_, device, duplication);
  }

 protected:
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IDXGIOutput) return static_cast<IDXGIOutput*>(this);
    if (riid == IID_IDXGIOutput1) return static_cast<IDXGIOutput1*>(this);
    if (riid == IID_IDXGIOutput2) return static_cast<IDXGIOutput2*>(this);
    if (riid == IID_IDXGIOutput3) return static_cast<IDXGIOutput3*>(this);
    if (riid == IID_IDXGIOutput4) return static_cast<IDXGIOutput4*>(this);
    return DxgiObject::FindInterface(riid);
  }

 private:
  DXGI_OUTPUT_DESC desc_;
  DXGI_ADAPTER_DESC1 owner_;  // the adapter's, for the device check
};

class Adapter final : public DxgiObject<IDXGIAdapter1> {
 public:
  Adapter(ComRef<IUnknown> factory, View view, std::size_t index)
      : DxgiObject("IDXGIAdapter1", std::move(factory)), view_(std::move(view)), index_(index) {}

  HRESULT EnumOutputs(UINT output, IDXGIOutput** out) override {
    const HRESULT injected = InjectedFailure("IDXGIAdapter::EnumOutputs");
    if (FAILED(injected)) return injected;
    // The page names no code for a null out pointer; E_INVALIDARG is what
    // Wine gives.
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    const AdapterView& adapter = view_->adapters[index_];
    if (output >= adapter.outputs.size()) return DXGI_ERROR_NOT_FOUND;
    *out = new Output(ComRef<IUnknown>::Share(static_cast<IDXGIAdapter*>(this)),
                      adapter.outputs[output], adapter.desc);
    return S_OK;
  }
  HRESULT GetDesc(DXGI_ADAPTER_DESC* desc) override {
    const HRESULT injected = InjectedFailure("IDXGIAdapter::GetDesc");
    if (FAILED(injected)) return injected;
    if (desc == nullptr) return E_INVALIDARG;  // "IDXGIAdapter::GetDesc"
    const DXGI_ADAPTER_DESC1& full = view_->adapters[index_].desc;
    *desc = DXGI_ADAPTER_DESC{};
    std::copy(std::begin(full.Description), std::end(full.Description), desc->Description);
    desc->VendorId = full.VendorId;
    desc->DeviceId = full.DeviceId;
    desc->SubSysId = full.SubSysId;
    desc->Revision = full.Revision;
    desc->DedicatedVideoMemory = full.DedicatedVideoMemory;
    desc->DedicatedSystemMemory = full.DedicatedSystemMemory;
    desc->SharedSystemMemory = full.SharedSystemMemory;
    desc->AdapterLuid = full.AdapterLuid;
    return S_OK;
  }
  HRESULT CheckInterfaceSupport(REFGUID, LARGE_INTEGER*) override { return E_NOTIMPL; }
  const DXGI_ADAPTER_DESC1& desc() const { return view_->adapters[index_].desc; }
  HRESULT GetDesc1(DXGI_ADAPTER_DESC1* desc) override {
    const HRESULT injected = InjectedFailure("IDXGIAdapter1::GetDesc1");
    if (FAILED(injected)) return injected;
    if (desc == nullptr) return E_INVALIDARG;
    *desc = view_->adapters[index_].desc;
    return S_OK;
  }

 protected:
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IDXGIAdapter) return static_cast<IDXGIAdapter*>(this);
    return DxgiObject::FindInterface(riid);
  }

 private:
  View view_;
  std::size_t index_;
};

class Factory final : public DxgiObject<IDXGIFactory1> {
 public:
  Factory()
      : DxgiObject("IDXGIFactory1", {}), view_(std::make_shared<MachineView>(ReadMachine())) {}

  HRESULT EnumAdapters1(UINT adapter, IDXGIAdapter1** out) override {
    const HRESULT injected = InjectedFailure("IDXGIFactory1::EnumAdapters1");
    if (FAILED(injected)) return injected;
    return Enumerate(adapter, out);
  }
  HRESULT EnumAdapters(UINT adapter, IDXGIAdapter** out) override {
    const HRESULT injected = InjectedFailure("IDXGIFactory::EnumAdapters");
    if (FAILED(injected)) return injected;
    IDXGIAdapter1* found = nullptr;
    const HRESULT hr = Enumerate(adapter, out == nullptr ? nullptr : &found);
    if (out != nullptr) *out = found;
    return hr;
  }
  BOOL IsCurrent() override { return DisplaysChangedSince(*view_) ? FALSE : TRUE; }
  // The first adapter, or the last.
  ComRef<IDXGIAdapter> AdapterAt(bool last) {
    const std::size_t index = last ? view_->adapters.size() - 1 : 0;
    return ComRef<IDXGIAdapter>(
        new Adapter(ComRef<IUnknown>::Share(static_cast<IDXGIFactory*>(this)), view_, index));
  }
  HRESULT MakeWindowAssociation(HWND, UINT) override { return E_NOTIMPL; }
  HRESULT GetWindowAssociation(HWND*) override { return E_NOTIMPL; }
  HRESULT CreateSoftwareAdapter(HMODULE, IDXGIAdapter**) override { return E_NOTIMPL; }

 protected:
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IDXGIFactory) return static_cast<IDXGIFactory*>(this);
    return DxgiObject::FindInterface(riid);
  }

 private:
  // "IDXGIFactory1::EnumAdapters1": a null out pointer is DXGI_ERROR_INVALID_CALL,
  // an index at or past the number of adapters DXGI_ERROR_NOT_FOUND.
  HRESULT Enumerate(UINT adapter, IDXGIAdapter1** out) {
    if (out == nullptr) return DXGI_ERROR_INVALID_CALL;
    *out = nullptr;
    if (adapter >= view_->adapters.size()) return DXGI_ERROR_NOT_FOUND;
    *out = new Adapter(ComRef<IUnknown>::Share(static_cast<IDXGIFactory*>(this)), view_, adapter);
    return S_OK;
  }

  View view_;
};

}  // namespace

LUID AdapterLuid(IDXGIAdapter* adapter) {
  const auto* ours = dynamic_cast<const Adapter*>(adapter);
  return ours == nullptr ? LUID{0, 0} : ours->desc().AdapterLuid;
}

bool IsBasicRender(IDXGIAdapter* adapter) {
  const auto* ours = dynamic_cast<const Adapter*>(adapter);
  return ours != nullptr && (ours->desc().Flags & DXGI_ADAPTER_FLAG_SOFTWARE) != 0;
}

ComRef<IDXGIAdapter> MachineAdapter(bool basic_render) {
  ComRef<Factory> factory(new Factory);
  return factory->AdapterAt(basic_render);
}

}  // namespace winsim::dxgi

// "CreateDXGIFactory1": the factory for IDXGIFactory1 or a base of it; no
// apartment is needed.
HRESULT CreateDXGIFactory1(REFIID riid, void** factory) {
  const HRESULT injected = winsim::InjectedFailure("CreateDXGIFactory1");
  if (FAILED(injected)) return injected;
  if (factory == nullptr) return E_POINTER;
  *factory = nullptr;
  winsim::ComRef<IDXGIFactory1> made(new winsim::dxgi::Factory);
  return made->QueryInterface(riid, factory);
}
