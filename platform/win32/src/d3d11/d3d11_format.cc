#include "d3d11/d3d11_format.h"

#include <algorithm>
#include <cmath>

namespace winsim::d3d11 {
namespace {

constexpr UINT kPitchAlignment = 256;

BYTE Channel(FLOAT value, bool srgb) {
  double c = std::clamp(static_cast<double>(value), 0.0, 1.0);
  if (std::isnan(value)) c = 0;
  if (srgb) c = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
  return static_cast<BYTE>(std::lround(c * 255));
}

}  // namespace

FormatInfo DescribeFormat(DXGI_FORMAT format) {
  switch (format) {
    case DXGI_FORMAT_R8G8B8A8_TYPELESS:
      return {FormatGroup::kRgba, true, false};
    case DXGI_FORMAT_R8G8B8A8_UNORM:
      return {FormatGroup::kRgba, false, false};
    case DXGI_FORMAT_R8G8B8A8_UNORM_SRGB:
      return {FormatGroup::kRgba, false, true};
    case DXGI_FORMAT_B8G8R8A8_TYPELESS:
      return {FormatGroup::kBgra, true, false};
    case DXGI_FORMAT_B8G8R8A8_UNORM:
      return {FormatGroup::kBgra, false, false};
    case DXGI_FORMAT_B8G8R8A8_UNORM_SRGB:
      return {FormatGroup::kBgra, false, true};
    case DXGI_FORMAT_B8G8R8X8_UNORM:
      return {FormatGroup::kBgrx, false, false};
    case DXGI_FORMAT_NV12:
      return {FormatGroup::kNv12, false, false};
    default:
      return {};
  }
}

UINT RowBytesOf(const D3D11_TEXTURE2D_DESC& desc) {
  return DescribeFormat(desc.Format).group == FormatGroup::kNv12 ? desc.Width : desc.Width * 4;
}

UINT RowPitchOf(const D3D11_TEXTURE2D_DESC& desc) {
  const UINT bytes = RowBytesOf(desc);
  return (bytes + kPitchAlignment - 1) / kPitchAlignment * kPitchAlignment + kPitchAlignment;
}

UINT RowCountOf(const D3D11_TEXTURE2D_DESC& desc) {
  return DescribeFormat(desc.Format).group == FormatGroup::kNv12 ? desc.Height + desc.Height / 2
                                                                 : desc.Height;
}

void PackColor(DXGI_FORMAT format, const FLOAT rgba[4], BYTE out[4]) {
  const FormatInfo info = DescribeFormat(format);
  const BYTE r = Channel(rgba[0], info.srgb), g = Channel(rgba[1], info.srgb);
  const BYTE b = Channel(rgba[2], info.srgb), a = Channel(rgba[3], false);
  if (info.group == FormatGroup::kRgba) {
    out[0] = r, out[1] = g, out[2] = b, out[3] = a;
  } else {
    out[0] = b, out[1] = g, out[2] = r, out[3] = info.group == FormatGroup::kBgrx ? 255 : a;
  }
}

}  // namespace winsim::d3d11
