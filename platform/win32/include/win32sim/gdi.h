// GDI, screen metrics and the cursor of the simulated machine: device
// contexts for the screen and for memory, 32-bit DIB sections, BitBlt from
// the screen, and the cursor's information, bitmaps and drawing. Every DC
// and bitmap handed out is counted ("gdi:ScreenDC", "gdi:MemoryDC",
// "gdi:Bitmap"); GetDC, CreateCompatibleDC, CreateDIBSection, BitBlt,
// GetCursorInfo, GetIconInfo and DrawIconEx can be failed by name.
#pragma once

#include "win32sim/base.h"
#include "win32sim/geometry.h"

// ---- Screen metrics ----
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
// The virtual screen: the bounding rectangle of all monitors.
constexpr int SM_XVIRTUALSCREEN = 76;
constexpr int SM_YVIRTUALSCREEN = 77;
constexpr int SM_CXVIRTUALSCREEN = 78;
constexpr int SM_CYVIRTUALSCREEN = 79;
constexpr int SM_CMONITORS = 80;
int GetSystemMetrics(int nIndex);

// ---- Device contexts and bitmaps ----
struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // positive: rows bottom-up; negative: top-down
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};
constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD CAPTUREBLT = 0x40000000;

// The extent of a DC in pixels: every DC of this machine is the screen's
// (a memory DC reports the display it is compatible with, as on Windows).
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
int GetDeviceCaps(HDC hdc, int index);

// GetDC(NULL) is the screen, addressed in virtual-screen coordinates; other
// windows are not drawable here.
HDC GetDC(HWND hWnd);
int ReleaseDC(HWND hWnd, HDC hDC);
HDC CreateCompatibleDC(HDC hdc);
// Deselects whatever is selected, then frees the DC.
BOOL DeleteDC(HDC hdc);
// Only 32-bit BI_RGB; the bits belong to the bitmap. Rows are
// |biWidth| * 4 bytes with no padding.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits,
                         HANDLE hSection, DWORD offset);
// Selects a bitmap into a memory DC and returns the one it replaces (at
// first the DC's stock 1x1 bitmap); NULL if the bitmap is selected elsewhere.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
// Fails for a bitmap that is still selected into a DC, as on Windows.
BOOL DeleteObject(HGDIOBJ ho);
// SRCCOPY, with or without CAPTUREBLT, clipped to both sides: from the
// screen DC into a memory DC's DIB (the reserved byte of each pixel becomes
// 0), from one memory DC into another, or from a memory DC onto the screen.
BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);

// ---- Cursor ----
struct CURSORINFO {
  DWORD cbSize;  // must be sizeof(CURSORINFO)
  DWORD flags;
  HCURSOR hCursor;
  POINT ptScreenPos;
};
using PCURSORINFO = CURSORINFO*;
using LPCURSORINFO = CURSORINFO*;
constexpr DWORD CURSOR_SHOWING = 0x00000001;

struct ICONINFO {
  BOOL fIcon;
  DWORD xHotspot;
  DWORD yHotspot;
  HBITMAP hbmMask;
  HBITMAP hbmColor;
};
using PICONINFO = ICONINFO*;

constexpr UINT DI_MASK = 0x0001;
constexpr UINT DI_IMAGE = 0x0002;
constexpr UINT DI_NORMAL = 0x0003;
constexpr UINT DI_COMPAT = 0x0004;
constexpr UINT DI_DEFAULTSIZE = 0x0008;

BOOL GetCursorInfo(PCURSORINFO pci);
// New mask and colour bitmaps that the caller must delete.
BOOL GetIconInfo(HICON hIcon, PICONINFO piconinfo);
// Alpha-blends the cursor image into the memory DC's DIB with its top-left
// at (xLeft, yTop); a zero size means the cursor's own size.
BOOL DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth,
                UINT istepIfAniCur, HBRUSH hbrFlickerFreeDraw, UINT diFlags);
