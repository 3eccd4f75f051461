// The immediate context's work on textures: copies, updates, clears and maps.
// The rules are listed in d3d11_objects.h.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "d3d11/d3d11_format.h"
#include "d3d11/d3d11_objects.h"
#include "machine/machine_work.h"

namespace winsim::d3d11 {
namespace {

// A rectangle of a texture in pixels; for NV12 its chroma is the rectangle
// halved, so every coordinate must be even.
struct Area {
  UINT left, top, right, bottom;
};

bool IsNv12(const Texture& t) {
  return DescribeFormat(t.desc().Format).group == FormatGroup::kNv12;
}

bool Inside(const Area& a, const D3D11_TEXTURE2D_DESC& desc) {
  return a.left < a.right && a.top < a.bottom && a.right <= desc.Width && a.bottom <= desc.Height;
}

bool EvenArea(const Area& a) {
  return a.left % 2 == 0 && a.top % 2 == 0 && a.right % 2 == 0 && a.bottom % 2 == 0;
}

// Copies the rows of area `a` of one plane to (to_x, to_y) of another, at
// `bytes_per_pixel` each.
void CopyRows(BYTE* to, UINT to_pitch, UINT to_x, UINT to_y, const BYTE* from, UINT from_pitch,
              const Area& a, UINT bytes_per_pixel) {
  const std::size_t run = std::size_t{a.right - a.left} * bytes_per_pixel;
  for (UINT r = 0; r < a.bottom - a.top; ++r) {
    std::memcpy(to + std::size_t{to_y + r} * to_pitch + std::size_t{to_x} * bytes_per_pixel,
                from + std::size_t{a.top + r} * from_pitch + std::size_t{a.left} * bytes_per_pixel,
                run);
  }
}

// Copies area `a` of a source laid out as `src` (pitch `from_pitch`) into
// `dst` at (x, y), luma and chroma for NV12.
void CopyArea(Texture& dst, UINT x, UINT y, const BYTE* from, UINT from_pitch,
              const D3D11_TEXTURE2D_DESC& src, const Area& a) {
  if (!IsNv12(dst)) {
    CopyRows(dst.bits(), dst.row_pitch(), x, y, from, from_pitch, a, 4);
    return;
  }
  CopyRows(dst.bits(), dst.row_pitch(), x, y, from, from_pitch, a, 1);
  const Area chroma{a.left, a.top / 2, a.right, a.bottom / 2};
  CopyRows(dst.bits() + std::size_t{dst.row_pitch()} * dst.desc().Height, dst.row_pitch(), x, y / 2,
           from + std::size_t{from_pitch} * src.Height, from_pitch, chroma, 1);
}

// The common conditions of a copy between two textures of `device`.
bool MayCopy(ID3D11Device* device, Texture* dst, Texture* src) {
  return dst != nullptr && src != nullptr && dst != src && dst->device() == device &&
         src->device() == device && dst->desc().Usage != D3D11_USAGE_IMMUTABLE &&
         DescribeFormat(dst->desc().Format).group == DescribeFormat(src->desc().Format).group;
}

// Whether copying area `a` of `src` to (x, y) of `dst` replaces every pixel
// of `dst` with the whole of `src`, laid out alike.
bool CoversWhole(const Texture& dst, UINT x, UINT y, const Texture& src, const Area& a) {
  const D3D11_TEXTURE2D_DESC& to = dst.desc();
  const D3D11_TEXTURE2D_DESC& from = src.desc();
  return x == 0 && y == 0 && a.left == 0 && a.top == 0 && a.right == from.Width &&
         a.bottom == from.Height && to.Width == from.Width && to.Height == from.Height &&
         dst.row_pitch() == src.row_pitch();
}

}  // namespace

void CopyWhole(ID3D11Device* device, Texture* dst, Texture* src) {
  const GpuWork gpu;
  if (!MayCopy(device, dst, src) || dst->desc().Width != src->desc().Width ||
      dst->desc().Height != src->desc().Height) {
    return;
  }
  std::scoped_lock lock(dst->mutex(), src->mutex());
  if (dst->mapped() || src->mapped()) return;
  dst->SharePixelsOf(*src);
}

void CopyRegion(ID3D11Device* device, Texture* dst, UINT dst_x, UINT dst_y, Texture* src,
                const D3D11_BOX* src_box) {
  const GpuWork gpu;
  if (!MayCopy(device, dst, src)) return;
  const D3D11_TEXTURE2D_DESC& from = src->desc();
  Area a{0, 0, from.Width, from.Height};
  if (src_box != nullptr) {
    if (src_box->front != 0 || src_box->back != 1) return;
    a = Area{src_box->left, src_box->top, src_box->right, src_box->bottom};
  }
  const Area target{dst_x, dst_y, dst_x + (a.right - a.left), dst_y + (a.bottom - a.top)};
  if (!Inside(a, from) || dst_x >= dst->desc().Width || dst_y >= dst->desc().Height ||
      !Inside(target, dst->desc()) || (IsNv12(*dst) && (!EvenArea(a) || !EvenArea(target)))) {
    return;
  }
  std::scoped_lock lock(dst->mutex(), src->mutex());
  if (dst->mapped() || src->mapped()) return;
  if (CoversWhole(*dst, dst_x, dst_y, *src, a)) {
    dst->SharePixelsOf(*src);
    return;
  }
  CopyArea(*dst, dst_x, dst_y, src->read_bits(), src->row_pitch(), from, a);
}

void UpdateRegion(ID3D11Device* device, Texture* dst, const D3D11_BOX* dst_box, const void* data,
                  UINT row_pitch) {
  const GpuWork gpu;
  if (dst == nullptr || data == nullptr || dst->device() != device ||
      dst->desc().Usage != D3D11_USAGE_DEFAULT) {
    return;
  }
  const D3D11_TEXTURE2D_DESC& desc = dst->desc();
  Area a{0, 0, desc.Width, desc.Height};
  if (dst_box != nullptr) a = Area{dst_box->left, dst_box->top, dst_box->right, dst_box->bottom};
  if (!Inside(a, desc) || (IsNv12(*dst) && !EvenArea(a))) return;
  // The caller's rows start at the box's corner: lay them out as a texture
  // of the box's size.
  D3D11_TEXTURE2D_DESC box_desc = desc;
  box_desc.Width = a.right - a.left;
  box_desc.Height = a.bottom - a.top;
  std::lock_guard<std::mutex> lock(dst->mutex());
  if (dst->mapped()) return;
  CopyArea(*dst, a.left, a.top, static_cast<const BYTE*>(data), row_pitch, box_desc,
           Area{0, 0, box_desc.Width, box_desc.Height});
}

void ClearView(ID3D11Device* device, RenderTargetView* view, const FLOAT color[4]) {
  const GpuWork gpu;
  Texture* texture = view == nullptr ? nullptr : view->texture();
  if (texture == nullptr || color == nullptr || texture->device() != device) return;
  BYTE pixel[4];
  PackColor(view->desc().Format, color, pixel);
  std::lock_guard<std::mutex> lock(texture->mutex());
  const D3D11_TEXTURE2D_DESC& desc = texture->desc();
  BYTE* const bits = texture->bits_to_overwrite();
  for (UINT row = 0; row < desc.Height; ++row) {
    BYTE* out = bits + std::size_t{row} * texture->row_pitch();
    for (UINT column = 0; column < desc.Width; ++column) std::memcpy(out + column * 4, pixel, 4);
  }
}

HRESULT MapTexture(ID3D11Device* device, Texture* texture, UINT subresource, D3D11_MAP map_type,
                   UINT map_flags, D3D11_MAPPED_SUBRESOURCE* mapped) {
  if (texture == nullptr || texture->device() != device || subresource != 0 || mapped == nullptr ||
      (map_flags & ~static_cast<UINT>(D3D11_MAP_FLAG_DO_NOT_WAIT)) != 0 ||
      texture->desc().Usage != D3D11_USAGE_STAGING) {
    return E_INVALIDARG;
  }
  const UINT access = texture->desc().CPUAccessFlags;
  const bool reads = map_type == D3D11_MAP_READ || map_type == D3D11_MAP_READ_WRITE;
  const bool writes = map_type == D3D11_MAP_WRITE || map_type == D3D11_MAP_READ_WRITE;
  if ((!reads && !writes) || (reads && (access & D3D11_CPU_ACCESS_READ) == 0) ||
      (writes && (access & D3D11_CPU_ACCESS_WRITE) == 0)) {
    return E_INVALIDARG;
  }
  std::lock_guard<std::mutex> lock(texture->mutex());
  if (texture->mapped()) return E_INVALIDARG;
  texture->set_mapped(true);
  mapped->pData = texture->bits();
  mapped->RowPitch = texture->row_pitch();
  mapped->DepthPitch = texture->row_pitch() * RowCountOf(texture->desc());
  return S_OK;
}

void UnmapTexture(ID3D11Device* device, Texture* texture, UINT subresource) {
  if (texture == nullptr || texture->device() != device || subresource != 0) return;
  std::lock_guard<std::mutex> lock(texture->mutex());
  texture->set_mapped(false);
}

}  // namespace winsim::d3d11
