// DesktopDuplication: one area of a display read through DXGI output
// duplication. Each Next() waits, up to a timeout, for the desktop's next
// frame and keeps the area's image in `picture()` (a GPU texture that never
// leaves the GPU) and the pointer's position and shape in `pointer()`:
// a frame without a new image (only the pointer moved) or no frame before
// the timeout leaves the last image, which the recording then repeats.
//
// Windows takes the duplication away (DXGI_ERROR_ACCESS_LOST) on a mode
// change, a switch to the secure desktop (a UAC prompt, the lock screen) or
// a full-screen application; Next() then makes a new one. While none can be
// made (E_ACCESSDENIED on the secure desktop) the screen counts as unread and
// the last image stays.
#pragma once

#include <windows.h>

#include <d3d11.h>
#include <dxgi1_2.h>
#include <dxgi1_5.h>

#include <cstdint>
#include <memory>

#include "recorder/recorder_error.h"
#include "recorder/video/gpu_device.h"
#include "recorder/video/pointer_shape.h"
#include "win32_support/com_ref.h"

namespace morl::recorder {

class DesktopDuplication {
 public:
  enum class Frame {
    kNewImage,    // the desktop changed: picture() holds the new image
    kSameImage,   // no new image (a timeout, or only the pointer changed)
    kUnreadable,  // the duplication was lost and could not be made again yet
  };

  // Duplicates `gpu`'s output and keeps the area `left`, `top`, `width` x
  // `height` of it (in the output's own pixels, inside it). Fails when
  // duplication is refused: not supported by the driver or the session
  // (DXGI_ERROR_UNSUPPORTED, E_NOTIMPL), too many duplications of the output
  // (DXGI_ERROR_NOT_CURRENTLY_AVAILABLE), the secure desktop (E_ACCESSDENIED).
  static Result<std::unique_ptr<DesktopDuplication>> Open(GpuDevice& gpu, std::int32_t left,
                                                          std::int32_t top, std::int32_t width,
                                                          std::int32_t height);
  DesktopDuplication(const DesktopDuplication&) = delete;
  DesktopDuplication& operator=(const DesktopDuplication&) = delete;

  // Waits up to `timeout_ms` for the next frame. A duplication that fails
  // (access lost, or any other failure to acquire) is made again by the
  // next call; until then the screen is unreadable. An error is returned
  // only when a frame that was acquired cannot be read.
  Result<Frame> Next(DWORD timeout_ms);

  ID3D11Texture2D* picture() const { return picture_.Get(); }
  // The pointer in the picture's coordinates (its x, y relative to the area).
  const PointerState& pointer() const { return pointer_; }
  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }

 private:
  DesktopDuplication(GpuDevice& gpu, std::int32_t left, std::int32_t top, std::int32_t width,
                     std::int32_t height);
  Status Duplicate();
  Status CreatePicture();
  Status ReadFrame(const DXGI_OUTDUPL_FRAME_INFO& info, IDXGIResource* resource);
  Status ReadPointerShape(UINT size);

  GpuDevice& gpu_;
  std::int32_t left_;
  std::int32_t top_;
  std::int32_t width_;
  std::int32_t height_;
  ComRef<IDXGIOutputDuplication> duplication_;
  ComRef<ID3D11Texture2D> picture_;
  PointerState pointer_;
  // Where the output's pointer is, before the area's offset is taken off.
  std::int32_t pointer_x_ = 0;
  std::int32_t pointer_y_ = 0;
};

}  // namespace morl::recorder
