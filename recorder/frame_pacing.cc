#include "recorder/frame_pacing.h"

#include "recorder/video_stream.h"

namespace morl::recorder {

std::optional<DWORD> NextFramePause(std::int64_t& next, std::int64_t now) {
  next += kVideoFrameInterval;
  const std::int64_t ahead = next - now;
  if (ahead > 0) return static_cast<DWORD>(ahead / 10'000);
  next = now;
  return std::nullopt;
}

}  // namespace morl::recorder
