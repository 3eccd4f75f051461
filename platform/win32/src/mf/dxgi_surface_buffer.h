// Media buffers over Direct3D 11 textures (MFCreateDXGISurfaceBuffer) and
// how the sink writer reads a frame from one.
#pragma once

#include <mfobjects.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace winsim {

// Whether `buffer` is a buffer over a texture (it answers IMFDXGIBuffer).
bool IsSurfaceBuffer(IMFMediaBuffer* buffer);

// The pixels of the texture behind a surface buffer as one frame of RGB32
// rows, `width` * 4 bytes each, in the row order asked for.
// MF_E_INVALIDMEDIATYPE when the texture is not a B8G8R8A8 or B8G8R8X8
// texture of `width` x `height`.
// ReadSurfaceFrame's checks without the read, giving the first four bytes of
// the frame in the row order asked for.
HRESULT CheckSurfaceFrame(IMFMediaBuffer* buffer, std::uint32_t width, std::uint32_t height,
                          bool bottom_up, std::uint32_t* first_pixel);

// The TexturePixelsVersion of the texture behind a surface buffer; null when
// it has none.
std::shared_ptr<const void> SurfacePixelsVersion(IMFMediaBuffer* buffer);

HRESULT ReadSurfaceFrame(IMFMediaBuffer* buffer, std::uint32_t width, std::uint32_t height,
                         bool bottom_up, std::vector<std::uint8_t>* frame);

}  // namespace winsim
