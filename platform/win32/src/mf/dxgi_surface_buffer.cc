// MFCreateDXGISurfaceBuffer of the simulated machine: a media buffer over
// subresource 0 of one of the simulation's textures, answering
// IMFMediaBuffer, IMF2DBuffer and IMFDXGIBuffer. Its rules:
//  - `riid` must be IID_ID3D11Texture2D and the surface one of the
//    simulation's textures (E_INVALIDARG otherwise); only subresource 0 is
//    held (E_INVALIDARG for another: the simulation's textures have one).
//  - Lock reads the texture into one contiguous block of rows, each the
//    row's own bytes (width * 4 for B8G8R8A8), bottom-up when the buffer was
//    made with fBottomUpWhenLinear, as ContiguousCopyTo gives them. Lock2D
//    gives the rows top-down at the texture's own row pitch, which may be
//    more than the row's bytes (then IsContiguousFormat is FALSE). What the
//    caller writes while locked is written to the texture at the last
//    Unlock or Unlock2D. A Lock2D while Lock holds the buffer, or the other
//    way round: MF_E_INVALIDREQUEST; GetScanline0AndPitch outside Lock2D,
//    and an Unlock without a lock: MF_E_INVALIDREQUEST.
//  - The current length starts at 0; the maximum is the contiguous length.
//  - GetResource asks the texture for an interface; GetUnknown and
//    SetUnknown keep objects by GUID (MF_E_NOT_FOUND for one never set).
// Counted live as "com:IMFDXGIBuffer"; MFCreateDXGISurfaceBuffer and the
// locks can be failed by name.
#include "mf/dxgi_surface_buffer.h"

#include <d3d11.h>
#include <mfapi.h>

#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "com/com_ref.h"
#include "d3d11/d3d11_format.h"
#include "d3d11/d3d11_texture.h"
#include "mf/mf_attribute_store.h"
#include "win32sim/com.h"

namespace winsim {
namespace {

// The layout of a texture's rows: `rows` rows of `row_bytes`.
struct RowLayout {
  UINT rows = 0;
  UINT row_bytes = 0;
  DWORD contiguous() const { return rows * row_bytes; }
};

RowLayout LayoutOf(const D3D11_TEXTURE2D_DESC& desc) {
  return {d3d11::RowCountOf(desc), d3d11::RowBytesOf(desc)};
}

// Copies the texture's rows to `out`, row r at `out + r * pitch` (or from
// the bottom when `bottom_up`), or back from there when `write`.
void MoveRows(IUnknown* texture, BYTE* memory, LONG pitch, bool bottom_up, bool write) {
  const auto line_of = [&](UINT rows, UINT r) {
    return memory + static_cast<std::ptrdiff_t>(bottom_up ? rows - 1 - r : r) * pitch;
  };
  if (write) {
    d3d11::UseTexturePixels(texture, [&](const d3d11::TexturePixels& pixels) {
      const RowLayout layout = LayoutOf(pixels.desc);
      for (UINT r = 0; r < layout.rows; ++r) {
        std::memcpy(pixels.bits + std::size_t{r} * pixels.row_pitch, line_of(layout.rows, r),
                    layout.row_bytes);
      }
    });
    return;
  }
  d3d11::ReadTexturePixels(texture, [&](const d3d11::TextureImage& pixels) {
    const RowLayout layout = LayoutOf(pixels.desc);
    for (UINT r = 0; r < layout.rows; ++r) {
      std::memcpy(line_of(layout.rows, r), pixels.bits + std::size_t{r} * pixels.row_pitch,
                  layout.row_bytes);
    }
  });
}

class SurfaceBuffer final : public ComObject<IMFMediaBuffer, IMF2DBuffer, IMFDXGIBuffer> {
 public:
  SurfaceBuffer(ComRef<IUnknown> texture, const D3D11_TEXTURE2D_DESC& desc, UINT row_pitch,
                bool bottom_up)
      : ComObject<IMFMediaBuffer, IMF2DBuffer, IMFDXGIBuffer>("IMFDXGIBuffer"),
        texture_(std::move(texture)),
        layout_(LayoutOf(desc)),
        row_pitch_(row_pitch),
        bottom_up_(bottom_up) {}

  HRESULT Lock(BYTE** data, DWORD* max_length, DWORD* current_length) override {
    if (data == nullptr) return E_POINTER;
    if (HRESULT hr = InjectedFailure("IMFMediaBuffer::Lock"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (HRESULT hr = LockAs(Mode::kLinear); FAILED(hr)) return hr;
    *data = copy_.data();
    if (max_length != nullptr) *max_length = layout_.contiguous();
    if (current_length != nullptr) *current_length = length_;
    return S_OK;
  }
  HRESULT Unlock() override { return UnlockAs(Mode::kLinear); }
  HRESULT Lock2D(BYTE** scanline0, LONG* pitch) override {
    if (scanline0 == nullptr || pitch == nullptr) return E_POINTER;
    if (HRESULT hr = InjectedFailure("IMF2DBuffer::Lock2D"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (HRESULT hr = LockAs(Mode::k2D); FAILED(hr)) return hr;
    *scanline0 = copy_.data();
    *pitch = static_cast<LONG>(row_pitch_);
    return S_OK;
  }
  HRESULT Unlock2D() override { return UnlockAs(Mode::k2D); }
  HRESULT GetScanline0AndPitch(BYTE** scanline0, LONG* pitch) override {
    if (scanline0 == nullptr || pitch == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    if (mode_ != Mode::k2D) return MF_E_INVALIDREQUEST;
    *scanline0 = copy_.data();
    *pitch = static_cast<LONG>(row_pitch_);
    return S_OK;
  }
  HRESULT IsContiguousFormat(BOOL* contiguous) override {
    if (contiguous == nullptr) return E_POINTER;
    *contiguous = row_pitch_ == layout_.row_bytes ? TRUE : FALSE;
    return S_OK;
  }
  HRESULT GetContiguousLength(DWORD* length) override {
    if (length == nullptr) return E_POINTER;
    *length = layout_.contiguous();
    return S_OK;
  }
  HRESULT ContiguousCopyTo(BYTE* destination, DWORD size) override {
    if (destination == nullptr) return E_POINTER;
    if (size < layout_.contiguous()) return E_INVALIDARG;
    MoveRows(texture_.Get(), destination, static_cast<LONG>(layout_.row_bytes), bottom_up_, false);
    return S_OK;
  }
  HRESULT ContiguousCopyFrom(const BYTE* source, DWORD size) override {
    if (source == nullptr) return E_POINTER;
    if (size < layout_.contiguous()) return E_INVALIDARG;
    MoveRows(texture_.Get(), const_cast<BYTE*>(source), static_cast<LONG>(layout_.row_bytes),
             bottom_up_, true);
    return S_OK;
  }
  HRESULT GetCurrentLength(DWORD* length) override {
    if (length == nullptr) return E_POINTER;
    *length = length_;
    return S_OK;
  }
  HRESULT SetCurrentLength(DWORD length) override {
    if (HRESULT hr = InjectedFailure("IMFMediaBuffer::SetCurrentLength"); FAILED(hr)) return hr;
    if (length > layout_.contiguous()) return E_INVALIDARG;
    length_ = length;
    return S_OK;
  }
  HRESULT GetMaxLength(DWORD* length) override {
    if (length == nullptr) return E_POINTER;
    *length = layout_.contiguous();
    return S_OK;
  }
  HRESULT GetResource(REFIID riid, LPVOID* object) override {
    if (object == nullptr) return E_POINTER;
    return texture_->QueryInterface(riid, object);
  }
  HRESULT GetSubresourceIndex(UINT* index) override {
    if (index == nullptr) return E_POINTER;
    *index = 0;
    return S_OK;
  }
  HRESULT GetUnknown(REFIID key, REFIID riid, LPVOID* object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    ComRef<IUnknown> held;
    if (HRESULT hr = objects_.Get(key, &held); FAILED(hr)) return MF_E_NOT_FOUND;
    return held->QueryInterface(riid, object);
  }
  HRESULT SetUnknown(REFIID key, IUnknown* object) override {
    if (object == nullptr) return objects_.Delete(key), S_OK;
    return objects_.Set(key, ComRef<IUnknown>::Share(object));
  }

 private:
  enum class Mode { kNone, kLinear, k2D };

  // Locks the buffer in `mode`, reading the texture at the first lock.
  HRESULT LockAs(Mode mode) {
    if (mode_ != Mode::kNone && mode_ != mode) return MF_E_INVALIDREQUEST;
    if (locks_++ == 0) {
      mode_ = mode;
      const bool linear = mode == Mode::kLinear;
      copy_.assign(linear ? layout_.contiguous() : std::size_t{row_pitch_} * layout_.rows, 0);
      MoveRows(texture_.Get(), copy_.data(),
               static_cast<LONG>(linear ? layout_.row_bytes : row_pitch_), linear && bottom_up_,
               false);
    }
    return S_OK;
  }
  // Unlocks one lock of `mode`, writing the texture at the last.
  HRESULT UnlockAs(Mode mode) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mode_ != mode || locks_ == 0) return MF_E_INVALIDREQUEST;
    if (--locks_ == 0) {
      const bool linear = mode == Mode::kLinear;
      MoveRows(texture_.Get(), copy_.data(),
               static_cast<LONG>(linear ? layout_.row_bytes : row_pitch_), linear && bottom_up_,
               true);
      mode_ = Mode::kNone;
      copy_.clear();
      copy_.shrink_to_fit();
    }
    return S_OK;
  }

  const ComRef<IUnknown> texture_;
  const RowLayout layout_;
  const UINT row_pitch_;
  const bool bottom_up_;
  std::mutex mutex_;
  Mode mode_ = Mode::kNone;
  int locks_ = 0;
  std::vector<BYTE> copy_;
  DWORD length_ = 0;
  AttributeStore objects_;
};

}  // namespace

bool IsSurfaceBuffer(IMFMediaBuffer* buffer) {
  IMFDXGIBuffer* dxgi = nullptr;
  if (FAILED(buffer->QueryInterface(IID_IMFDXGIBuffer, reinterpret_cast<void**>(&dxgi)))) {
    return false;
  }
  dxgi->Release();
  return true;
}

namespace {

// The texture behind a surface buffer.
HRESULT TextureOf(IMFMediaBuffer* buffer, ComRef<IUnknown>* texture) {
  IMFDXGIBuffer* dxgi = nullptr;
  if (HRESULT hr = buffer->QueryInterface(IID_IMFDXGIBuffer, reinterpret_cast<void**>(&dxgi));
      FAILED(hr)) {
    return hr;
  }
  ComRef<IMFDXGIBuffer> held(dxgi);
  IUnknown* found = nullptr;
  if (HRESULT hr = dxgi->GetResource(IID_IUnknown, reinterpret_cast<void**>(&found)); FAILED(hr)) {
    return hr;
  }
  *texture = ComRef<IUnknown>(found);
  return S_OK;
}

// Calls `use` with the pixels of the texture behind a surface buffer when it
// is a B8G8R8A8 or B8G8R8X8 texture of `width` x `height`; else
// MF_E_INVALIDMEDIATYPE (or why the texture could not be found).
HRESULT UseFrameTexture(IMFMediaBuffer* buffer, std::uint32_t width, std::uint32_t height,
                        const std::function<void(const d3d11::TextureImage&)>& use) {
  ComRef<IUnknown> texture;
  if (HRESULT hr = TextureOf(buffer, &texture); FAILED(hr)) return hr;
  HRESULT result = MF_E_INVALIDMEDIATYPE;
  d3d11::ReadTexturePixels(texture.Get(), [&](const d3d11::TextureImage& pixels) {
    const d3d11::FormatGroup group = d3d11::DescribeFormat(pixels.desc.Format).group;
    if ((group != d3d11::FormatGroup::kBgra && group != d3d11::FormatGroup::kBgrx) ||
        pixels.desc.Width != width || pixels.desc.Height != height) {
      return;
    }
    use(pixels);
    result = S_OK;
  });
  return result;
}

}  // namespace

HRESULT CheckSurfaceFrame(IMFMediaBuffer* buffer, std::uint32_t width, std::uint32_t height,
                          bool bottom_up, std::uint32_t* first_pixel) {
  return UseFrameTexture(buffer, width, height, [&](const d3d11::TextureImage& pixels) {
    const std::uint32_t first_row = bottom_up ? height - 1 : 0;
    std::memcpy(first_pixel, pixels.bits + std::size_t{first_row} * pixels.row_pitch, 4);
  });
}

std::shared_ptr<const void> SurfacePixelsVersion(IMFMediaBuffer* buffer) {
  ComRef<IUnknown> texture;
  if (FAILED(TextureOf(buffer, &texture))) return nullptr;
  return d3d11::TexturePixelsVersion(texture.Get());
}

HRESULT ReadSurfaceFrame(IMFMediaBuffer* buffer, std::uint32_t width, std::uint32_t height,
                         bool bottom_up, std::vector<std::uint8_t>* frame) {
  return UseFrameTexture(buffer, width, height, [&](const d3d11::TextureImage& pixels) {
    const std::size_t row = std::size_t{width} * 4;
    frame->resize(row * height);
    for (std::uint32_t r = 0; r < height; ++r) {
      const std::uint32_t at = bottom_up ? height - 1 - r : r;
      std::memcpy(frame->data() + at * row, pixels.bits + std::size_t{r} * pixels.row_pitch, row);
    }
  });
}

}  // namespace winsim

HRESULT MFCreateDXGISurfaceBuffer(REFIID riid, IUnknown* punkSurface, UINT uSubresourceIndex,
                                  BOOL fBottomUpWhenLinear, IMFMediaBuffer** ppBuffer) {
  if (ppBuffer == nullptr) return E_POINTER;
  *ppBuffer = nullptr;
  if (HRESULT hr = winsim::InjectedFailure("MFCreateDXGISurfaceBuffer"); FAILED(hr)) return hr;
  if (punkSurface == nullptr || riid != IID_ID3D11Texture2D || uSubresourceIndex != 0) {
    return E_INVALIDARG;
  }
  D3D11_TEXTURE2D_DESC desc{};
  UINT row_pitch = 0;
  if (!winsim::d3d11::ReadTexturePixels(punkSurface, [&](const winsim::d3d11::TextureImage& p) {
        desc = p.desc;
        row_pitch = p.row_pitch;
      })) {
    return E_INVALIDARG;
  }
  *ppBuffer = new winsim::SurfaceBuffer(winsim::ComRef<IUnknown>::Share(punkSurface), desc,
                                        row_pitch, fBottomUpWhenLinear != FALSE);
  return S_OK;
}
