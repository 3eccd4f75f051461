// Owners of the GDI handles the screen capture uses, each released the way
// its kind requires: a window's DC is released, a created DC and a bitmap are
// deleted, and a selection is undone before the bitmap can be deleted.
#pragma once

#include <windows.h>

#include <utility>

namespace morl::recorder {

// The DC of the whole screen from GetDC(NULL).
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ~ScreenDc() {
    if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
  }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

// A memory DC from CreateCompatibleDC.
class MemoryDc {
 public:
  explicit MemoryDc(HDC compatible_with) : dc_(CreateCompatibleDC(compatible_with)) {}
  ~MemoryDc() {
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

// A bitmap handle that is deleted with DeleteObject; empty is allowed.
class GdiBitmap {
 public:
  GdiBitmap() = default;
  explicit GdiBitmap(HBITMAP bitmap) : bitmap_(bitmap) {}
  ~GdiBitmap() { Reset(); }
  GdiBitmap(GdiBitmap&& other) noexcept : bitmap_(std::exchange(other.bitmap_, nullptr)) {}
  GdiBitmap& operator=(GdiBitmap&& other) noexcept {
    if (this != &other) {
      Reset();
      bitmap_ = std::exchange(other.bitmap_, nullptr);
    }
    return *this;
  }
  GdiBitmap(const GdiBitmap&) = delete;
  GdiBitmap& operator=(const GdiBitmap&) = delete;
  void Reset() {
    if (HBITMAP old = std::exchange(bitmap_, nullptr)) DeleteObject(old);
  }
  HBITMAP Get() const { return bitmap_; }

 private:
  HBITMAP bitmap_ = nullptr;
};

// Selects an object into a DC and puts the previous one back on destruction,
// so the object is no longer selected when it is deleted.
class ScopedSelection {
 public:
  ScopedSelection() = default;
  ScopedSelection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~ScopedSelection() {
    if (dc_ != nullptr && previous_ != nullptr) SelectObject(dc_, previous_);
  }
  ScopedSelection(const ScopedSelection&) = delete;
  ScopedSelection& operator=(const ScopedSelection&) = delete;

 private:
  HDC dc_ = nullptr;
  HGDIOBJ previous_ = nullptr;
};

}  // namespace morl::recorder
