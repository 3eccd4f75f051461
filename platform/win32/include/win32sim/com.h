// COM for the simulated machine: IUnknown, apartments, task memory, and the
// reference-counted object base whose instances the machine accounts for.
#pragma once

#include <atomic>
#include <type_traits>

#include "win32sim/base.h"
#include "win32sim/machine_core.h"

MORL_DEFINE_GUID(IID_IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
                 0x00, 0x46);

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

// __uuidof for the interfaces the product names through IID_PPV_ARGS.
template <typename T>
struct MorlInterfaceId;
#define MORL_INTERFACE_ID(Interface, iid) \
  template <>                             \
  struct MorlInterfaceId<Interface> {     \
    static const IID& Get() { return iid; } \
  }
MORL_INTERFACE_ID(IUnknown, IID_IUnknown);
#define __uuidof(T) MorlInterfaceId<std::remove_pointer_t<std::remove_reference_t<decltype(T)>>>::Get()
#define IID_PPV_ARGS(pp) \
  MorlInterfaceId<std::remove_pointer_t<std::remove_reference_t<decltype(*(pp))>>>::Get(), reinterpret_cast<void**>(pp)

enum COINIT : DWORD {
  COINIT_MULTITHREADED = 0x0,
  COINIT_APARTMENTTHREADED = 0x2,
  COINIT_DISABLE_OLE1DDE = 0x4,
};
enum CLSCTX : DWORD {
  CLSCTX_INPROC_SERVER = 0x1,
  CLSCTX_INPROC_HANDLER = 0x2,
  CLSCTX_LOCAL_SERVER = 0x4,
  CLSCTX_REMOTE_SERVER = 0x10,
  CLSCTX_ALL = 0x17,
};

// Each thread keeps its own apartment count; CoUninitialize must balance every
// successful CoInitializeEx (S_OK or S_FALSE), as on Windows.
HRESULT CoInitializeEx(LPVOID reserved, DWORD coinit);
void CoUninitialize();
LPVOID CoTaskMemAlloc(SIZE_T size);
void CoTaskMemFree(LPVOID memory);

namespace winsim {

// What a call that needs COM on its thread gives: S_OK on a thread inside an
// apartment, or inside the implicit multithreaded apartment (some other thread
// of the process holds the MTA); CO_E_NOTINITIALIZED otherwise.
HRESULT ComApartmentCheck();

// Base of every simulated COM object: an atomic reference count, lookup of
// the listed interfaces, and one entry in the machine's accounting for the
// object's lifetime under `kind` (for example "IMFSample").
template <typename... Interfaces>
class ComObject : public Interfaces... {
 public:
  explicit ComObject(const char* kind) : tracked_(Kind::kCom, kind) {}
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = riid == IID_IUnknown ? static_cast<void*>(static_cast<First*>(this))
                                   : FindInterface(riid);
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~ComObject() = default;

  // The listed interfaces; an object that also answers for a base interface
  // (IMFAttributes of an IMFMediaType) extends this.
  virtual void* FindInterface(REFIID riid) {
    void* found = nullptr;
    ((found == nullptr && riid == MorlInterfaceId<Interfaces>::Get()
          ? found = static_cast<Interfaces*>(this)
          : found),
     ...);
    return found;
  }

 private:
  template <typename F, typename...>
  struct FirstOf {
    using type = F;
  };
  using First = typename FirstOf<Interfaces...>::type;

  std::atomic<ULONG> refs_{1};
  Tracked tracked_;
};

}  // namespace winsim
