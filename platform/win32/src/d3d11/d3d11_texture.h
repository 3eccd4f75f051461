// How the rest of the simulated machine reaches a texture's pixels: Media
// Foundation's surface buffers read the frames a program hands them as
// textures, and desktop duplication writes the desktop into its frames.
#pragma once

#include <d3d11.h>

#include <functional>
#include <memory>

namespace winsim::d3d11 {

// A texture's subresource 0 as the simulation holds it: rows top-down,
// `row_pitch` bytes apart. Four bytes per pixel in the format's own order
// (B, G, R, A for DXGI_FORMAT_B8G8R8A8_UNORM); for DXGI_FORMAT_NV12 the
// `desc.Height` rows of luma are followed by `desc.Height / 2` rows of
// interleaved U and V, each row `desc.Width` bytes of the same pitch.
struct TexturePixels {
  D3D11_TEXTURE2D_DESC desc;
  UINT row_pitch;
  BYTE* bits;
};

// Calls `use` with the pixels of the texture behind `texture` (any of its
// interfaces: ID3D11Texture2D, ID3D11Resource, IDXGIResource, IDXGISurface,
// IUnknown), under the texture's lock, and gives true; false, without
// calling, when `texture` is not one of the simulation's textures. What
// `use` writes is the texture's new content.
bool UseTexturePixels(IUnknown* texture, const std::function<void(const TexturePixels&)>& use);

// UseTexturePixels for a writer that replaces every pixel: what the texture
// held before is not kept for `use` to read.
bool OverwriteTexturePixels(IUnknown* texture,
                            const std::function<void(const TexturePixels&)>& use);

// The pixels of the texture behind `texture` as they are now, kept alive:
// equal to a later call's result only if nothing wrote the texture between
// the two. Null when `texture` is not one of the simulation's textures.
std::shared_ptr<const void> TexturePixelsVersion(IUnknown* texture);

// A texture's pixels to read, laid out as TexturePixels.
struct TextureImage {
  D3D11_TEXTURE2D_DESC desc;
  UINT row_pitch;
  const BYTE* bits;
};

// UseTexturePixels for a reader: `use` must not write, and the texture's
// pixels are not copied when other textures share them.
bool ReadTexturePixels(IUnknown* texture, const std::function<void(const TextureImage&)>& use);

}  // namespace winsim::d3d11
