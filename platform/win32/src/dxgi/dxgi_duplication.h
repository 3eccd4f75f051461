// Desktop duplication of one display (IDXGIOutput1::DuplicateOutput and
// IDXGIOutputDuplication), for the simulated machine.
//
// The display is refreshed 60 times a second: vertical blanks fall at
// multiples of 1/60 s of machine time from 0. At each blank the desktop
// compositor presents a new frame when the display's pixels (what BitBlt
// reads of its rectangle) differ from the frame last handed out, and
// updates the pointer when the cursor moved, changed shape or was shown or
// hidden. So the animated desktop gives a frame at every blank, a still one
// gives none (AcquireNextFrame times out), and a test paints the screen to
// make one.
//
// The rules kept, with the Microsoft pages they come from:
// - DuplicateOutput ("IDXGIOutput1::DuplicateOutput"): a device that is not
//   a Direct3D 11 device of the output's adapter, or a display this process
//   duplicates already, is E_INVALIDARG; while the secure desktop shows,
//   E_ACCESSDENIED; on a machine without a hardware GPU (the basic display
//   driver has no desktop compositor to duplicate) DXGI_ERROR_UNSUPPORTED.
//   An output whose display went away gives E_INVALIDARG (the simulation's
//   choice: the page names no code).
// - AcquireNextFrame ("IDXGIOutputDuplication::AcquireNextFrame"): one frame
//   is held at a time (a second acquire before ReleaseFrame is
//   DXGI_ERROR_INVALID_CALL); with no update before the timeout (a timed
//   wait on the machine's clock, ending on a timer tick) it gives
//   DXGI_ERROR_WAIT_TIMEOUT. The first acquire gives the desktop at once.
//   The frame is a DEFAULT B8G8R8A8_UNORM texture of the display's size
//   (render target and shader resource) holding its pixels with alpha 255,
//   without the cursor. The machine's "costs" duplication_ms_per_mpixel is
//   waited for each desktop frame handed out.
// - DXGI_OUTDUPL_FRAME_INFO ("DXGI_OUTDUPL_FRAME_INFO structure"):
//   LastPresentTime is the performance counter at the blank that presented
//   the frame and AccumulatedFrames the frames presented since the last one
//   handed out (every blank for the animated desktop, else 1); both are 0
//   when only the pointer changed. LastMouseUpdateTime is the counter at the
//   blank that saw the pointer change, 0 when it did not; PointerPosition
//   ("DXGI_OUTDUPL_POINTER_POSITION structure") is then the top-left corner
//   of the pointer's image relative to the display's top-left, and Visible
//   whether the cursor shows with its hot spot on this display;
//   PointerShapeBufferSize is the shape's bytes when the shape changed, else
//   0. TotalMetadataBufferSize is one dirty rectangle (the whole display)
//   when the desktop changed, else 0.
// - GetFramePointerShape, GetFrameDirtyRects, GetFrameMoveRects: only while
//   a frame is held (DXGI_ERROR_INVALID_CALL otherwise); a buffer too small
//   gives DXGI_ERROR_MORE_DATA and the size needed. The shape is
//   DXGI_OUTDUPL_POINTER_SHAPE_TYPE_COLOR, 32-bit BGRA rows.
// - MapDesktopSurface ("IDXGIOutputDuplication::MapDesktopSurface"):
//   DXGI_ERROR_UNSUPPORTED, as with a GPU whose desktop image is not in
//   system memory (DesktopImageInSystemMemory FALSE).
// - DXGI_ERROR_ACCESS_LOST ("DXGI_ERROR", "Desktop Duplication API"): once
//   the display changes mode (size or position), goes away, or the secure
//   desktop shows, every acquire and release of the duplication fails so
//   until it is made again.
#pragma once

#include <dxgi1_2.h>

namespace winsim::dxgi {

// IDXGIOutput1::DuplicateOutput of `parent`, the output described by
// `output` of the adapter described by `adapter`, after its injected
// failure. The duplication holds its output (GetParent).
HRESULT DuplicateDisplay(IUnknown* parent, const DXGI_OUTPUT_DESC& output,
                         const DXGI_ADAPTER_DESC1& adapter, IUnknown* device,
                         IDXGIOutputDuplication** duplication);

}  // namespace winsim::dxgi
