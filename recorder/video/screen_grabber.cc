#include "recorder/video/screen_grabber.h"

#include "recorder/video/cursor_overlay.h"

namespace morl::recorder {

namespace {

constexpr std::uint64_t kBytesPerPixel = 4;

// width x height x 4 when it fits the 32-bit size of a media buffer, else 0.
DWORD FrameBytesOf(std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  const std::uint64_t bytes =
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * kBytesPerPixel;
  return bytes > 0xFFFFFFFFu ? 0 : static_cast<DWORD>(bytes);
}

}  // namespace

ScreenGrabber::ScreenGrabber(std::int32_t width, std::int32_t height, std::int32_t left,
                             std::int32_t top, HMONITOR monitor)
    : width_(width),
      height_(height),
      left_(left),
      top_(top),
      monitor_(monitor),
      frame_bytes_(FrameBytesOf(width, height)),
      memory_(screen_.Get()) {
  if (frame_bytes_ == 0 || screen_.Get() == nullptr || memory_.Get() == nullptr) return;

  // A positive height makes the DIB bottom-up, the row order the encoder
  // is handed.
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap_ = GdiBitmap(CreateDIBSection(screen_.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (bitmap_.Get() == nullptr || bits == nullptr) return;
  selection_.emplace(memory_.Get(), bitmap_.Get());
  bits_ = bits;
}

bool ScreenGrabber::Grab() {
  // CAPTUREBLT includes layered (translucent, tool-tip) windows in the copy.
  if (!BitBlt(memory_.Get(), 0, 0, width_, height_, screen_.Get(), left_, top_,
              SRCCOPY | CAPTUREBLT)) {
    return false;
  }
  DrawCursor(memory_.Get(), left_, top_, monitor_);
  return true;
}

}  // namespace morl::recorder
