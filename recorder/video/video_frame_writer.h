// Hands one captured frame to the sink writer as a video sample, and decides
// when the encoder is too far behind to take another.
#pragma once

#include <windows.h>

#include <cstdint>

#include "recorder/recorder_error.h"
#include "recorder/sample_writer.h"
#include "recorder/video/video_track.h"

namespace morl::recorder {

// Copies `frame` (`bytes` long) into a new media buffer and sample timed
// at `now` on the time line's clock (paused time cut out, less its
// start_time), lasting the track's frame interval, and writes it to the
// video stream under the writer's mutex. When the writer accepts it,
// frames_written grows by one and end_time becomes the sample's end. Any
// failure drops the frame and is returned, its message naming the failing
// call; the counters then stay as they were.
Status WriteVideoFrame(const VideoWork& work, const BYTE* frame, DWORD bytes, std::int64_t now);

// WriteVideoFrame for a frame already in a media buffer (a texture's, on the
// duplication path): written as it is, counted alike.
Status WriteVideoFrameBuffer(const VideoWork& work, IMFMediaBuffer* frame, std::int64_t now);

// How many frames of `frame_bytes` each, `frame_interval` (100-ns) apart, the
// sink writer may hold that its encoder has not finished: half a second of
// frames but at least 16, because an encoder keeps several frames for
// look-ahead and reordering even when it keeps up; at most 512 MB of frames,
// and never fewer than 4.
std::int64_t FramesInFlightBound(std::int64_t frame_bytes, std::int64_t frame_interval);

// Whether the video encoder is so far behind that the next frame must be
// dropped: the frames the writer received less those its encoder finished
// (IMFSinkWriter::GetStatistics, qwNumSamplesEncoded) reach
// FramesInFlightBound. Frames the encoder finished but the file sink holds
// back (to interleave them with audio) do not count: they are no longer the
// encoder's work. A writer that gives no statistics is never behind.
bool EncoderBehind(TrackWriter& writer, const VideoTrack& track);

}  // namespace morl::recorder
