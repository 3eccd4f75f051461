// StartOptions: what a "start" call asks of a recording. Every member's
// default is what a start without arguments records: the primary display,
// whole, at 15 frames a second, with the default microphone and speakers, as
// an ordinary MP4.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace morl::recorder {

// A rectangle in the pixels of the recorded display, its top-left at 0, 0.
struct CaptureRegion {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

inline constexpr std::int32_t kDefaultFramesPerSecond = 15;
inline constexpr std::int32_t kMinFramesPerSecond = 1;
inline constexpr std::int32_t kMaxFramesPerSecond = 60;
// Why a frame rate outside that range is refused.
inline constexpr char kFrameRateRangeText[] = "fps must be an integer from 1 to 60";

struct StartOptions {
  std::wstring path;  // UTF-16, the finished file
  bool system_audio = false;
  bool fragmented = false;
  std::optional<std::int32_t> display;  // an index into the display list; none: the primary
  std::optional<CaptureRegion> region;  // none: the whole display
  std::int32_t fps = kDefaultFramesPerSecond;
  std::wstring microphone_id;  // an endpoint id; empty: the default microphone
  std::wstring speakers_id;    // an endpoint id; empty: the default speakers
};

}  // namespace morl::recorder
