// DXGI 1.3's outputs: overlay support, which the simulated machine's outputs
// do not offer.
#pragma once

#include <dxgi1_2.h>

MORL_DEFINE_GUID(IID_IDXGIOutput2, 0x595e39d1, 0x2724, 0x4663, 0x99, 0xb1, 0xda, 0x96, 0x9d, 0xe2,
                 0x83, 0x64);
MORL_DEFINE_GUID(IID_IDXGIOutput3, 0x8a6bb301, 0x7e7e, 0x41f4, 0xa8, 0xe0, 0x5b, 0x32, 0xf7, 0xf9,
                 0x9b, 0x18);

struct IDXGIOutput2 : IDXGIOutput1 {
  virtual BOOL SupportsOverlays() = 0;

 protected:
  ~IDXGIOutput2() = default;
};
MORL_INTERFACE_ID(IDXGIOutput2, IID_IDXGIOutput2);

struct IDXGIOutput3 : IDXGIOutput2 {
  virtual HRESULT CheckOverlaySupport(DXGI_FORMAT enum_format, IUnknown* concerned_device,
                                      UINT* flags) = 0;

 protected:
  ~IDXGIOutput3() = default;
};
MORL_INTERFACE_ID(IDXGIOutput3, IID_IDXGIOutput3);
