// Textures, render-target views and the checks of their descriptions.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "d3d11/d3d11_format.h"
#include "d3d11/d3d11_objects.h"
#include "machine/machine_work.h"

namespace winsim::d3d11 {
namespace {

constexpr UINT kMaxTextureSide = 16384;  // D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION
constexpr UINT kTextureBinds = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET |
                               D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_DECODER |
                               D3D11_BIND_VIDEO_ENCODER;
constexpr UINT kCpuAccess = D3D11_CPU_ACCESS_READ | D3D11_CPU_ACCESS_WRITE;

// What the simulation leaves out of textures Windows makes: E_NOTIMPL.
bool Unsimulated(const D3D11_TEXTURE2D_DESC& desc) {
  return desc.MipLevels != 1 || desc.ArraySize > 1 || desc.SampleDesc.Count > 1 ||
         desc.SampleDesc.Quality != 0 || desc.Usage == D3D11_USAGE_DYNAMIC;
}

bool UsageAllows(const D3D11_TEXTURE2D_DESC& desc, bool has_data) {
  switch (desc.Usage) {
    case D3D11_USAGE_DEFAULT:
      return desc.CPUAccessFlags == 0;
    case D3D11_USAGE_IMMUTABLE:
      return desc.CPUAccessFlags == 0 && has_data;
    case D3D11_USAGE_STAGING:
      return desc.BindFlags == 0 && desc.CPUAccessFlags != 0;
    default:
      return false;
  }
}

// Pixel memory of textures that went away, kept for the next texture of the
// same size: a recording's frames are copied on write many times a second,
// and fresh memory of a 4K frame costs the simulation's thread thousands of
// page faults each time.
class PixelMemoryPool {
 public:
  std::shared_ptr<std::vector<BYTE>> Take(std::size_t size) {
    std::unique_ptr<std::vector<BYTE>> memory;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto found = std::find_if(spare_.begin(), spare_.end(),
                                      [size](const auto& m) { return m->size() == size; });
      if (found != spare_.end()) {
        memory = std::move(*found);
        spare_.erase(found);
      }
    }
    if (!memory) memory = std::make_unique<std::vector<BYTE>>(size);
    return std::shared_ptr<std::vector<BYTE>>(memory.release(),
                                              [this](std::vector<BYTE>* m) { GiveBack(m); });
  }

 private:
  static constexpr std::size_t kWorthKeeping = std::size_t{1} << 20;
  static constexpr std::size_t kMostKept = 8;

  void GiveBack(std::vector<BYTE>* memory) {
    std::unique_ptr<std::vector<BYTE>> owned(memory);
    if (owned->size() < kWorthKeeping) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (spare_.size() == kMostKept) spare_.erase(spare_.begin());
    spare_.push_back(std::move(owned));
  }

  std::mutex mutex_;
  std::vector<std::unique_ptr<std::vector<BYTE>>> spare_;
};

// Memory of `size` bytes for a texture's pixels, of any content.
std::shared_ptr<std::vector<BYTE>> TakePixelMemory(std::size_t size) {
  static PixelMemoryPool* const pool = new PixelMemoryPool;  // outlives every texture
  return pool->Take(size);
}

// Whether `pixels` are this texture's alone. Another texture that shared
// them may have let go on another thread after reading them: the fence
// orders that reading before this texture's writing (the count's decrement
// releases, the count read here is followed by an acquire).
bool OwnedAlone(const std::shared_ptr<std::vector<BYTE>>& pixels) {
  if (pixels.use_count() > 1) return false;
  std::atomic_thread_fence(std::memory_order_acquire);
  return true;
}

}  // namespace

HRESULT CheckTextureDesc(const D3D11_TEXTURE2D_DESC& desc,
                         const D3D11_SUBRESOURCE_DATA* initial_data) {
  const FormatInfo format = DescribeFormat(desc.Format);
  const bool nv12 = format.group == FormatGroup::kNv12;
  if (desc.Width == 0 || desc.Height == 0 || desc.Width > kMaxTextureSide ||
      desc.Height > kMaxTextureSide || desc.ArraySize == 0 || desc.SampleDesc.Count == 0 ||
      format.group == FormatGroup::kNone ||
      (nv12 && (desc.Width % 2 != 0 || desc.Height % 2 != 0))) {
    return E_INVALIDARG;
  }
  if ((desc.BindFlags & ~kTextureBinds) != 0 || (desc.CPUAccessFlags & ~kCpuAccess) != 0 ||
      (desc.CPUAccessFlags != 0 && desc.MiscFlags != 0)) {
    return E_INVALIDARG;
  }
  if (desc.Usage != D3D11_USAGE_DYNAMIC && !UsageAllows(desc, initial_data != nullptr)) {
    return E_INVALIDARG;
  }
  if (Unsimulated(desc)) return E_NOTIMPL;
  if (initial_data != nullptr &&
      (initial_data->pSysMem == nullptr || initial_data->SysMemPitch < RowBytesOf(desc))) {
    return E_INVALIDARG;
  }
  return S_OK;
}

void FillTexture(Texture& texture, const D3D11_SUBRESOURCE_DATA& data) {
  const auto* from = static_cast<const BYTE*>(data.pSysMem);
  const UINT rows = RowCountOf(texture.desc()), bytes = RowBytesOf(texture.desc());
  for (UINT row = 0; row < rows; ++row) {
    std::memcpy(texture.bits() + std::size_t{row} * texture.row_pitch(),
                from + std::size_t{row} * data.SysMemPitch, bytes);
  }
}

HRESULT CheckRenderTargetView(const Texture& texture, const D3D11_RENDER_TARGET_VIEW_DESC* desc,
                              D3D11_RENDER_TARGET_VIEW_DESC* view) {
  const D3D11_TEXTURE2D_DESC& tex = texture.desc();
  if ((tex.BindFlags & D3D11_BIND_RENDER_TARGET) == 0) return E_INVALIDARG;
  *view = D3D11_RENDER_TARGET_VIEW_DESC{};
  view->Format = tex.Format;
  view->ViewDimension = D3D11_RTV_DIMENSION_TEXTURE2D;
  if (desc != nullptr) {
    if (desc->ViewDimension != D3D11_RTV_DIMENSION_TEXTURE2D || desc->Texture2D.MipSlice != 0) {
      return E_INVALIDARG;
    }
    if (desc->Format != DXGI_FORMAT_UNKNOWN) view->Format = desc->Format;
  }
  const FormatInfo format = DescribeFormat(view->Format);
  if (format.typeless || format.group == FormatGroup::kNv12 ||
      format.group != DescribeFormat(tex.Format).group) {
    return E_INVALIDARG;
  }
  return S_OK;
}

Texture::Texture(ComRef<ID3D11Device> device, const D3D11_TEXTURE2D_DESC& desc)
    : ComObject("ID3D11Texture2D"),
      device_(std::move(device)),
      desc_(desc),
      row_pitch_(RowPitchOf(desc)),
      bits_(TakePixelMemory(std::size_t{row_pitch_} * RowCountOf(desc))) {
  std::fill(bits_->begin(), bits_->end(), BYTE{0});
}

BYTE* Texture::bits() {
  if (!OwnedAlone(bits_)) {
    std::shared_ptr<std::vector<BYTE>> own = TakePixelMemory(bits_->size());
    std::memcpy(own->data(), bits_->data(), bits_->size());
    bits_ = std::move(own);
  }
  return bits_->data();
}

BYTE* Texture::bits_to_overwrite() {
  if (!OwnedAlone(bits_)) bits_ = TakePixelMemory(bits_->size());
  return bits_->data();
}

Texture* Texture::From(IUnknown* resource) { return dynamic_cast<Texture*>(resource); }

void Texture::GetDevice(ID3D11Device** device) {
  if (device == nullptr) return;
  *device = device_.Get();
  device_->AddRef();
}

HRESULT Texture::GetDevice(REFIID riid, void** device) {
  if (device == nullptr) return E_INVALIDARG;
  return device_->QueryInterface(riid, device);
}

HRESULT Texture::GetParent(REFIID riid, void** parent) { return GetDevice(riid, parent); }

void Texture::GetType(D3D11_RESOURCE_DIMENSION* dimension) {
  if (dimension != nullptr) *dimension = D3D11_RESOURCE_DIMENSION_TEXTURE2D;
}

void Texture::GetDesc(D3D11_TEXTURE2D_DESC* desc) {
  if (desc != nullptr) *desc = desc_;
}

HRESULT Texture::GetDesc(DXGI_SURFACE_DESC* desc) {
  const HRESULT injected = InjectedFailure("IDXGISurface::GetDesc");
  if (FAILED(injected)) return injected;
  if (desc == nullptr) return E_INVALIDARG;
  *desc = DXGI_SURFACE_DESC{desc_.Width, desc_.Height, desc_.Format, desc_.SampleDesc};
  return S_OK;
}

void* Texture::FindInterface(REFIID riid) {
  if (riid == IID_ID3D11Resource || riid == IID_ID3D11DeviceChild) {
    return static_cast<ID3D11Texture2D*>(this);
  }
  if (riid == IID_IDXGIDeviceSubObject || riid == IID_IDXGIObject) {
    return static_cast<IDXGIResource*>(this);
  }
  return ComObject::FindInterface(riid);
}

RenderTargetView::RenderTargetView(ComRef<ID3D11Texture2D> texture,
                                   const D3D11_RENDER_TARGET_VIEW_DESC& desc)
    : ComObject("ID3D11RenderTargetView"), texture_(std::move(texture)), desc_(desc) {}

void RenderTargetView::GetResource(ID3D11Resource** resource) {
  if (resource == nullptr) return;
  *resource = texture_.Get();
  texture_->AddRef();
}

void RenderTargetView::GetDesc(D3D11_RENDER_TARGET_VIEW_DESC* desc) {
  if (desc != nullptr) *desc = desc_;
}

void* RenderTargetView::FindInterface(REFIID riid) {
  if (riid == IID_ID3D11View || riid == IID_ID3D11DeviceChild) {
    return static_cast<ID3D11RenderTargetView*>(this);
  }
  return ComObject::FindInterface(riid);
}

namespace {

// Calls `use` with the pixels `bits_of` gives of the texture behind
// `texture`, under its lock, counted as the GPU's work; false when
// `texture` is not one of the simulation's textures.
template <typename Pixels, typename BitsOf>
bool WithTexture(IUnknown* texture, BitsOf bits_of, const std::function<void(const Pixels&)>& use) {
  Texture* found = Texture::From(texture);
  if (found == nullptr) return false;
  const GpuWork gpu;
  std::lock_guard<std::mutex> lock(found->mutex());
  use(Pixels{found->desc(), found->row_pitch(), bits_of(*found)});
  return true;
}

}  // namespace

bool UseTexturePixels(IUnknown* texture, const std::function<void(const TexturePixels&)>& use) {
  return WithTexture(texture, [](Texture& t) { return t.bits(); }, use);
}

bool OverwriteTexturePixels(IUnknown* texture,
                            const std::function<void(const TexturePixels&)>& use) {
  return WithTexture(texture, [](Texture& t) { return t.bits_to_overwrite(); }, use);
}

std::shared_ptr<const void> TexturePixelsVersion(IUnknown* texture) {
  Texture* found = Texture::From(texture);
  if (found == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(found->mutex());
  return found->pixels_version();
}

bool ReadTexturePixels(IUnknown* texture, const std::function<void(const TextureImage&)>& use) {
  return WithTexture(texture, [](const Texture& t) { return t.read_bits(); }, use);
}

}  // namespace winsim::d3d11
