// DXGI 1.5's IDXGIOutput5::DuplicateOutput1: desktop duplication with the
// frame formats the program takes. The rules are those of DuplicateOutput
// (platform/win32/src/dxgi/dxgi_duplication.h).
#pragma once

#include <dxgi1_4.h>

enum DXGI_OUTDUPL_FLAG {
  DXGI_OUTDUPL_COMPOSITED_UI_CAPTURE_ONLY = 0x1,
};

MORL_DEFINE_GUID(IID_IDXGIOutput5, 0x80a07424, 0xab52, 0x42eb, 0x83, 0x3c, 0x0c, 0x42, 0xfd, 0x28,
                 0x2d, 0x98);

struct IDXGIOutput5 : IDXGIOutput4 {
  virtual HRESULT DuplicateOutput1(IUnknown* device, UINT flags, UINT supported_formats_count,
                                   const DXGI_FORMAT* supported_formats,
                                   IDXGIOutputDuplication** duplication) = 0;

 protected:
  ~IDXGIOutput5() = default;
};
MORL_INTERFACE_ID(IDXGIOutput5, IID_IDXGIOutput5);
