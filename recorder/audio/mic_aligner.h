// Keeps the microphone-only track on the recording's clock. The track is one
// contiguous run of PCM, as an AAC encoder and an MP4 track hold it, so the
// time each buffer belongs at (from the device's sample times) is honoured
// here rather than left to the sink: a buffer that belongs after the end of
// the track (the device delivered nothing in between) is preceded by
// silence; one whose time is already past loses what is past; and a device
// clock that runs off the recording's clock is followed by a smooth change
// of the resampling step, never by dropping or repeating single samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace morl::recorder {

class MicAligner {
 public:
  MicAligner(std::uint32_t sample_rate, std::uint32_t channels);

  // Appends to `out` the 16-bit interleaved frames that carry `pcm`
  // (`frames` frames whose first belongs at track time `time`, in 100-ns
  // units) from the track's current end on.
  void Add(const std::int16_t* pcm, std::size_t frames, std::int64_t time,
           std::vector<std::int16_t>& out);
  // Appends to `out` silence from the track's end up to frame `frame`, for
  // time the device delivered nothing for; a buffer that comes later for
  // that time loses what is past.
  void FillTo(std::int64_t frame, std::vector<std::int16_t>& out);
  // The next buffer comes from another device (a new clock): it is placed
  // exactly where it belongs, with silence before it or what is past cut,
  // and not blended with the previous device's last frame.
  void Rejoin();
  // Frames on the track so far: where the next output frame goes.
  std::int64_t written() const { return written_; }

 private:
  double rate_;
  std::size_t channels_;
  bool started_ = false;
  bool rejoin_ = false;
  std::int64_t written_ = 0;
  double position_ = 0.0;              // next read, in frames of the coming buffer
  std::vector<std::int16_t> history_;  // the last frame of the previous buffer
};

}  // namespace morl::recorder
