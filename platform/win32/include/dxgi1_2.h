// DXGI 1.2's desktop duplication for the simulated machine: an output's
// IDXGIOutput1::DuplicateOutput and the IDXGIOutputDuplication it gives. The
// rules the machine keeps are described in
// platform/win32/src/dxgi/dxgi_duplication.h.
#pragma once

#include <dxgi.h>

struct DXGI_MODE_DESC1 {
  UINT Width;
  UINT Height;
  DXGI_RATIONAL RefreshRate;
  DXGI_FORMAT Format;
  DXGI_MODE_SCANLINE_ORDER ScanlineOrdering;
  DXGI_MODE_SCALING Scaling;
  BOOL Stereo;
};

struct DXGI_OUTDUPL_MOVE_RECT {
  POINT SourcePoint;
  RECT DestinationRect;
};

struct DXGI_OUTDUPL_DESC {
  DXGI_MODE_DESC ModeDesc;
  DXGI_MODE_ROTATION Rotation;
  BOOL DesktopImageInSystemMemory;
};

struct DXGI_OUTDUPL_POINTER_POSITION {
  POINT Position;
  BOOL Visible;
};

enum DXGI_OUTDUPL_POINTER_SHAPE_TYPE {
  DXGI_OUTDUPL_POINTER_SHAPE_TYPE_MONOCHROME = 0x1,
  DXGI_OUTDUPL_POINTER_SHAPE_TYPE_COLOR = 0x2,
  DXGI_OUTDUPL_POINTER_SHAPE_TYPE_MASKED_COLOR = 0x4,
};

struct DXGI_OUTDUPL_POINTER_SHAPE_INFO {
  UINT Type;
  UINT Width;
  UINT Height;
  UINT Pitch;
  POINT HotSpot;
};

struct DXGI_OUTDUPL_FRAME_INFO {
  LARGE_INTEGER LastPresentTime;
  LARGE_INTEGER LastMouseUpdateTime;
  UINT AccumulatedFrames;
  BOOL RectsCoalesced;
  BOOL ProtectedContentMaskedOut;
  DXGI_OUTDUPL_POINTER_POSITION PointerPosition;
  UINT TotalMetadataBufferSize;
  UINT PointerShapeBufferSize;
};

MORL_DEFINE_GUID(IID_IDXGIOutputDuplication, 0x191cfac3, 0xa341, 0x470d, 0xb2, 0x6e, 0xa8, 0x64,
                 0xf4, 0x28, 0x31, 0x9c);
MORL_DEFINE_GUID(IID_IDXGIOutput1, 0x00cddea8, 0x939b, 0x4b83, 0xa3, 0x40, 0xa6, 0x85, 0x22, 0x66,
                 0x66, 0xcc);

struct IDXGIOutputDuplication : IDXGIObject {
  virtual void GetDesc(DXGI_OUTDUPL_DESC* desc) = 0;
  virtual HRESULT AcquireNextFrame(UINT timeout_in_milliseconds,
                                   DXGI_OUTDUPL_FRAME_INFO* frame_info,
                                   IDXGIResource** desktop_resource) = 0;
  virtual HRESULT GetFrameDirtyRects(UINT dirty_rects_buffer_size, RECT* dirty_rects_buffer,
                                     UINT* dirty_rects_buffer_size_required) = 0;
  virtual HRESULT GetFrameMoveRects(UINT move_rects_buffer_size,
                                    DXGI_OUTDUPL_MOVE_RECT* move_rect_buffer,
                                    UINT* move_rects_buffer_size_required) = 0;
  virtual HRESULT GetFramePointerShape(UINT pointer_shape_buffer_size, void* pointer_shape_buffer,
                                       UINT* pointer_shape_buffer_size_required,
                                       DXGI_OUTDUPL_POINTER_SHAPE_INFO* pointer_shape_info) = 0;
  virtual HRESULT MapDesktopSurface(DXGI_MAPPED_RECT* locked_rect) = 0;
  virtual HRESULT UnMapDesktopSurface() = 0;
  virtual HRESULT ReleaseFrame() = 0;

 protected:
  ~IDXGIOutputDuplication() = default;
};
MORL_INTERFACE_ID(IDXGIOutputDuplication, IID_IDXGIOutputDuplication);

// The methods before DuplicateOutput answer E_NOTIMPL.
struct IDXGIOutput1 : IDXGIOutput {
  virtual HRESULT GetDisplayModeList1(DXGI_FORMAT enum_format, UINT flags, UINT* num_modes,
                                      DXGI_MODE_DESC1* desc) = 0;
  virtual HRESULT FindClosestMatchingMode1(const DXGI_MODE_DESC1* mode_to_match,
                                           DXGI_MODE_DESC1* closest_match,
                                           IUnknown* concerned_device) = 0;
  virtual HRESULT GetDisplaySurfaceData1(IDXGIResource* destination) = 0;
  virtual HRESULT DuplicateOutput(IUnknown* device,
                                  IDXGIOutputDuplication** output_duplication) = 0;

 protected:
  ~IDXGIOutput1() = default;
};
MORL_INTERFACE_ID(IDXGIOutput1, IID_IDXGIOutput1);
