// StartOptions: what a "start" call asks of a recording. Every member's
// default is what a start without arguments records: the primary display,
// whole, at 15 frames a second, with the default microphone and speakers, as
// an ordinary MP4, on the GPU's encoder when there is one.
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

// Which H.264 encoder a recording may use. kAuto lets the sink writer take
// the GPU's encoder when it has one that takes the video, else the software
// one; kHardware fails the start without the GPU's; kSoftware never asks for
// the GPU's.
enum class EncoderChoice { kAuto, kHardware, kSoftware };

// The video bit rate a start may ask for, in bits per second.
inline constexpr std::int32_t kMinVideoBitrate = 100'000;
inline constexpr std::int32_t kMaxVideoBitrate = 100'000'000;

struct StartOptions {
  std::wstring path;  // UTF-16, the finished file
  bool system_audio = false;
  bool fragmented = false;
  std::optional<std::int32_t> display;  // an index into the display list; none: the primary
  std::optional<CaptureRegion> region;  // none: the whole display
  std::int32_t fps = kDefaultFramesPerSecond;
  EncoderChoice encoder = EncoderChoice::kAuto;
  // Bits per second; none: derived from the frame size and rate (VideoBitrate).
  std::optional<std::int32_t> video_bitrate;
  std::wstring microphone_id;  // an endpoint id; empty: the default microphone
  std::wstring speakers_id;    // an endpoint id; empty: the default speakers
};

}  // namespace morl::recorder
