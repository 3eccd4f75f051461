// What the simulation knows of the DXGI formats its textures take.
#pragma once

#include <d3d11.h>

namespace winsim::d3d11 {

enum class FormatGroup { kNone, kRgba, kBgra, kBgrx, kNv12 };

struct FormatInfo {
  // Formats of one group copy into each other (CopyResource's "same type
  // group"); kNone: not a format the simulation's textures take.
  FormatGroup group = FormatGroup::kNone;
  bool typeless = false;  // a group's typeless member: no view may use it
  bool srgb = false;      // colours are stored sRGB-encoded
};

FormatInfo DescribeFormat(DXGI_FORMAT format);

// Bytes from one row to the next: the row's own bytes rounded up to 256 and
// then 256 more, so a reader that assumes tightly packed rows (width times
// four) reads the wrong pixels here as it would on hardware whose alignment
// differs from what it assumed.
UINT RowPitchOf(const D3D11_TEXTURE2D_DESC& desc);
// The bytes of a row's pixels (the width in bytes of the first plane).
UINT RowBytesOf(const D3D11_TEXTURE2D_DESC& desc);
// Rows held: the height, and for NV12 half as many chroma rows again.
UINT RowCountOf(const D3D11_TEXTURE2D_DESC& desc);

// `rgba` (0 to 1 each, clamped) as the four bytes of one pixel of `format`'s
// group, in memory order. A format without alpha stores 255.
void PackColor(DXGI_FORMAT format, const FLOAT rgba[4], BYTE out[4]);

}  // namespace winsim::d3d11
