// The sink writer keys of the machine file:
//   "disk": {"free_bytes": 1000000}      room left on the recordings' volume
//   "encoder": {"latency_frames": 3}     frames the video encoder holds back
//   "encoder": {"max_width": 1920, "max_height": 1088}
//                                        the largest frame the H.264 encoder takes
#include <cstdint>
#include <string>

#include "machine/machine_areas.h"
#include "mf/sink_writer_media_types.h"
#include "mf/sink_writer_record.h"
#include "winsim.h"

namespace winsim {
namespace {

// Hardware encoders hold a few frames; a second of 60-fps video is ample.
constexpr std::int64_t kMaxEncoderLatencyFrames = 60;

}  // namespace

bool ApplyDiskKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_object() || !OnlyKnownKeys(value, {"free_bytes"}, error)) {
    if (error->empty()) *error = "must be an object such as {\"free_bytes\": 1000000}";
    return false;
  }
  std::int64_t free_bytes = -1;
  if (!ReadInt64(value, "free_bytes", &free_bytes, error)) return false;
  if (value.contains("free_bytes") && free_bytes < 0) {
    *error = "\"free_bytes\" must not be negative";
    return false;
  }
  SetDiskFreeBytes(free_bytes);
  return true;
}

bool ApplyEncoderKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_object() ||
      !OnlyKnownKeys(value, {"latency_frames", "max_width", "max_height"}, error)) {
    if (error->empty()) *error = "must be an object such as {\"latency_frames\": 3}";
    return false;
  }
  std::int64_t frames = 0;
  if (!ReadInt64(value, "latency_frames", &frames, error)) return false;
  if (frames < 0 || frames > kMaxEncoderLatencyFrames) {
    *error = "\"latency_frames\" must be 0 to " + std::to_string(kMaxEncoderLatencyFrames);
    return false;
  }
  std::int64_t width = kH264MaxWidth, height = kH264MaxHeight;
  if (!ReadInt64(value, "max_width", &width, error) ||
      !ReadInt64(value, "max_height", &height, error)) {
    return false;
  }
  if (width < 2 || width > kH264MaxWidth || height < 2 || height > kH264MaxHeight) {
    *error = "\"max_width\" and \"max_height\" must be 2 to " + std::to_string(kH264MaxWidth) +
             " and 2 to " + std::to_string(kH264MaxHeight);
    return false;
  }
  SetEncoderLatencyFrames(static_cast<int>(frames));
  SetEncoderMaxFrameSize(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
  return true;
}

}  // namespace winsim
