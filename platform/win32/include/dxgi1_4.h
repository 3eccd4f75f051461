// DXGI 1.4's outputs: overlay colour-space support, which the simulated
// machine's outputs do not offer.
#pragma once

#include <dxgi1_3.h>
#include <dxgicommon.h>

MORL_DEFINE_GUID(IID_IDXGIOutput4, 0xdc7dca35, 0x2196, 0x414d, 0x9f, 0x53, 0x61, 0x78, 0x84, 0x03,
                 0x2a, 0x60);

struct IDXGIOutput4 : IDXGIOutput3 {
  virtual HRESULT CheckOverlayColorSpaceSupport(DXGI_FORMAT format,
                                                DXGI_COLOR_SPACE_TYPE colour_space,
                                                IUnknown* device, UINT* flags) = 0;

 protected:
  ~IDXGIOutput4() = default;
};
MORL_INTERFACE_ID(IDXGIOutput4, IID_IDXGIOutput4);
