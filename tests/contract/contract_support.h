// Small owners for what the contract cases borrow from the system, so every
// case gives back its DCs, bitmaps, windows, classes and COM references on
// every path, failed assertions included.
#pragma once

#include <windows.h>

#include <memory>
#include <utility>

#include "win32_support/com_ref.h"

namespace contract {

// A COM reference released at scope end: the recorder's own holder, which
// is header-only and leans on nothing but the COM rules these cases check.
using morl::ComRef;

// The screen's DC from GetDC(nullptr).
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  ~ScreenDc() {
    if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
  }
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

// Puts the screen back as it was when a case that draws on it ends, on every
// path: the drawing would otherwise stay (a drawn-on desktop stops changing
// on the simulated machine, and under Windows stays until repainted) and
// differ between orders of the cases.
class ScreenRestoredAtExit {
 public:
  ScreenRestoredAtExit();
  ScreenRestoredAtExit(const ScreenRestoredAtExit&) = delete;
  ScreenRestoredAtExit& operator=(const ScreenRestoredAtExit&) = delete;
  ~ScreenRestoredAtExit();

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
};

// A memory DC with a 32-bit DIB section selected into it; `height` is signed
// as in BITMAPINFOHEADER (positive: rows bottom-up, negative: top-down).
class DibCanvas {
 public:
  DibCanvas(int width, int height) : width_(width), rows_(height < 0 ? -height : height) {
    ScreenDc screen;
    dc_ = CreateCompatibleDC(screen.Get());
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<DWORD*>(bits);
    if (dc_ != nullptr && bitmap_ != nullptr) previous_ = SelectObject(dc_, bitmap_);
  }
  DibCanvas(const DibCanvas&) = delete;
  DibCanvas& operator=(const DibCanvas&) = delete;
  ~DibCanvas() {
    if (previous_ != nullptr) SelectObject(dc_, previous_);
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  bool Ready() const { return previous_ != nullptr && bits_ != nullptr; }
  HDC Dc() const { return dc_; }
  HBITMAP Bitmap() const { return bitmap_; }
  // The pixel at memory row `row` (not screen row), column `x`.
  DWORD& InMemory(int x, int row) { return bits_[row * width_ + x]; }
  int Width() const { return width_; }
  int Rows() const { return rows_; }
  void Fill(DWORD value) {
    for (int i = 0; i < width_ * rows_; ++i) bits_[i] = value;
  }

 private:
  int width_;
  int rows_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  DWORD* bits_ = nullptr;
};

// A window class of this module, unregistered at scope end.
class WindowClass {
 public:
  WindowClass(const wchar_t* name, WNDPROC proc) : name_(name) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = name;
    atom_ = RegisterClassW(&wc);
  }
  WindowClass(const WindowClass&) = delete;
  WindowClass& operator=(const WindowClass&) = delete;
  ~WindowClass() {
    if (atom_ != 0) UnregisterClassW(name_, GetModuleHandleW(nullptr));
  }
  ATOM Atom() const { return atom_; }
  const wchar_t* Name() const { return name_; }

 private:
  const wchar_t* name_;
  ATOM atom_ = 0;
};

// A window destroyed at scope end unless the case destroyed it already.
class Window {
 public:
  explicit Window(HWND hwnd = nullptr) : hwnd_(hwnd) {}
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  ~Window() {
    if (hwnd_ != nullptr && IsWindow(hwnd_)) DestroyWindow(hwnd_);
  }
  HWND Get() const { return hwnd_; }

 private:
  HWND hwnd_;
};

}  // namespace contract
