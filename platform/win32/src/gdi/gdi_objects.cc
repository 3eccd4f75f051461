// Device contexts and bitmaps: creation, selection and deletion.
#include "gdi/gdi_objects.h"

#include <set>

#include "machine/machine_screen.h"
#include "winsim.h"

namespace winsim {
namespace {

struct GdiState {
  std::mutex mutex;
  std::set<const void*> dcs;
  std::set<const void*> bitmaps;
  // What a new memory DC holds until a bitmap is selected: a 1x1 stock
  // bitmap, as on Windows. It is never counted and never deleted.
  GdiBitmap stock_bitmap;
};

GdiState& State() {
  static GdiState* state = [] {
    auto* fresh = new GdiState;
    fresh->stock_bitmap.width = fresh->stock_bitmap.height = 1;
    fresh->stock_bitmap.bits.assign(1, 0);
    fresh->stock_bitmap.stock = true;
    return fresh;
  }();
  return *state;
}

constexpr const char* kScreenDc = "ScreenDC";
constexpr const char* kMemoryDc = "MemoryDC";
constexpr const char* kBitmap = "Bitmap";

void Deselect(GdiDc* dc) {
  if (dc->bitmap != nullptr && !dc->bitmap->stock) dc->bitmap->selected_into = nullptr;
  dc->bitmap = nullptr;
}

}  // namespace

std::mutex& GdiMutex() { return State().mutex; }

GdiDc* LiveDc(HDC handle) {
  return State().dcs.count(handle) != 0 ? reinterpret_cast<GdiDc*>(handle) : nullptr;
}

GdiBitmap* LiveBitmap(const void* handle) {
  if (handle == &State().stock_bitmap) return &State().stock_bitmap;
  return State().bitmaps.count(handle) != 0 ? static_cast<GdiBitmap*>(const_cast<void*>(handle))
                                            : nullptr;
}

GdiBitmap* NewBitmap(int width, int height, bool bottom_up) {
  auto* bitmap = new GdiBitmap;
  bitmap->width = width;
  bitmap->height = height;
  bitmap->bottom_up = bottom_up;
  bitmap->bits.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
  State().bitmaps.insert(bitmap);
  AddLive(Kind::kGdi, kBitmap);
  return bitmap;
}

}  // namespace winsim

using winsim::GdiBitmap;
using winsim::GdiDc;

HDC GetDC(HWND hWnd) {
  if (winsim::FailedByInjection("GetDC")) return nullptr;
  if (hWnd != nullptr) {  // only the screen is drawable in the simulation
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  winsim::LoadMachineFromEnvironment();
  std::lock_guard<std::mutex> lock(winsim::GdiMutex());
  auto* dc = new GdiDc;
  dc->screen = true;
  winsim::State().dcs.insert(dc);
  winsim::AddLive(winsim::Kind::kGdi, winsim::kScreenDc);
  return reinterpret_cast<HDC>(dc);
}

int ReleaseDC(HWND /*hWnd*/, HDC hDC) {
  std::lock_guard<std::mutex> lock(winsim::GdiMutex());
  GdiDc* dc = winsim::LiveDc(hDC);
  if (dc == nullptr || !dc->screen) return 0;
  winsim::State().dcs.erase(dc);
  delete dc;
  winsim::RemoveLive(winsim::Kind::kGdi, winsim::kScreenDc);
  return 1;
}

HDC CreateCompatibleDC(HDC hdc) {
  if (winsim::FailedByInjection("CreateCompatibleDC")) return nullptr;
  std::lock_guard<std::mutex> lock(winsim::GdiMutex());
  if (hdc != nullptr && winsim::LiveDc(hdc) == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto* dc = new GdiDc;
  dc->bitmap = &winsim::State().stock_bitmap;
  winsim::State().dcs.insert(dc);
  winsim::AddLive(winsim::Kind::kGdi, winsim::kMemoryDc);
  return reinterpret_cast<HDC>(dc);
}

BOOL DeleteDC(HDC hdc) {
  std::lock_guard<std::mutex> lock(winsim::GdiMutex());
  GdiDc* dc = winsim::LiveDc(hdc);
  if (dc == nullptr || dc->screen) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  winsim::Deselect(dc);
  winsim::State().dcs.erase(dc);
  delete dc;
  winsim::RemoveLive(winsim::Kind::kGdi, winsim::kMemoryDc);
  return TRUE;
}

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits,
                         HANDLE hSection, DWORD /*offset*/) {
  if (ppvBits != nullptr) *ppvBits = nullptr;
  if (winsim::FailedByInjection("CreateDIBSection")) return nullptr;
  if (pbmi == nullptr || usage != DIB_RGB_COLORS || hSection != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const BITMAPINFOHEADER& header = pbmi->bmiHeader;
  const std::int64_t width = header.biWidth;
  const std::int64_t height =
      header.biHeight < 0 ? -std::int64_t{header.biHeight} : header.biHeight;
  // Windows refuses sizes whose bits would not fit in 32 bits.
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 || header.biBitCount != 32 ||
      header.biCompression != BI_RGB || width <= 0 || height <= 0 ||
      width * height * 4 > 0x7FFFFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(winsim::GdiMutex());
  if (hdc != nullptr && winsim::LiveDc(hdc) == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  GdiBitmap* bitmap =
      winsim::NewBitmap(static_cast<int>(width), static_cast<int>(height), header.biHeight > 0);
  if (ppvBits != nullptr) *ppvBits = bitmap->bits.data();
  return reinterpret_cast<HBITMAP>(bitmap);
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
  std::lock_guard<std::mutex> lock(winsim::GdiMutex());
  GdiDc* dc = winsim::LiveDc(hdc);
  GdiBitmap* bitmap = winsim::LiveBitmap(h);
  if (dc == nullptr || bitmap == nullptr || dc->screen) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (dc->bitmap == bitmap) return h;
  if (!bitmap->stock && bitmap->selected_into != nullptr) return nullptr;  // selected elsewhere
  GdiBitmap* previous = dc->bitmap;
  winsim::Deselect(dc);
  dc->bitmap = bitmap;
  if (!bitmap->stock) bitmap->selected_into = dc;
  return previous;
}

BOOL DeleteObject(HGDIOBJ ho) {
  std::lock_guard<std::mutex> lock(winsim::GdiMutex());
  GdiBitmap* bitmap = winsim::LiveBitmap(ho);
  if (bitmap == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (bitmap->stock) return TRUE;  // stock objects outlive every caller
  if (bitmap->selected_into != nullptr) return FALSE;
  winsim::State().bitmaps.erase(bitmap);
  delete bitmap;
  winsim::RemoveLive(winsim::Kind::kGdi, winsim::kBitmap);
  return TRUE;
}

int GetDeviceCaps(HDC hdc, int index) {
  {
    std::lock_guard<std::mutex> lock(winsim::GdiMutex());
    if (winsim::LiveDc(hdc) == nullptr) return 0;
  }
  int extent = 0;
  winsim::ReadScreen([&](const winsim::Screen& screen) {
    extent = index == HORZRES ? screen.width : index == VERTRES ? screen.height : 0;
  });
  return extent;
}

int GetSystemMetrics(int nIndex) {
  if (nIndex == SM_CXSCREEN || nIndex == SM_CYSCREEN) return winsim::ScreenMetric(nIndex);
  if (nIndex >= SM_XVIRTUALSCREEN && nIndex <= SM_CMONITORS) {
    return winsim::VirtualScreenMetric(nIndex);
  }
  return 0;
}
