// The video worker: captures the recorded display (or region) with its cursor
// at the recording's frame rate and writes each frame to the recording's H.264 stream until
// the time line's stop is signalled. Started after BeginWriting and start_time;
// joined by the stop. When the start already wrote the first frame (with the
// track's grabber), the worker waits one frame interval before the next.
// A frame that cannot be written is dropped and counted; the first failure
// goes to the track's failure.
//
// Before every frame the worker looks at the recorded display (DisplayWatch):
// the file keeps its size, a display that changed size is captured at its
// new size and fitted into the frame with its aspect kept (black bars), and
// while the display is gone, or nothing of the region is on it, the frames
// are black. A screen that cannot be read (the secure desktop) repeats its
// last picture. A recording on the duplication path (see VideoTrack) goes on
// with the grabber from the first of these changes. Each of these, a capture more than a tenth below its rate
// over CaptureRate's window, and the SourceWatch's conditions go into the
// recording's failures as they happen, with how long they lasted.
//
// Frames follow a schedule of one per interval that restarts from the present
// whenever a frame ran late, so lost time is never made up by a burst of
// frames. While the recording is paused nothing is captured; the schedule
// restarts with a frame at once when it is resumed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "recorder/source_watch.h"
#include "recorder/video/capture_watch.h"
#include "recorder/video/display_watch.h"
#include "recorder/video/frame_scaler.h"
#include "recorder/video/video_stream.h"
#include "recorder/video/video_track.h"

namespace morl::recorder {

// Thread entry of the video worker; `watch` is checked with every frame.
void RunScreenCapture(const VideoWork& work, SourceWatch& watch);

// Captures one frame with `grabber`, scales it when the track has a
// scaler, and writes it; a failure's message names the failing call. A frame
// grabbed while the recording is paused is not written and not a failure.
// `screen_read`, when given, tells whether the screen could be read.
Status WriteCapturedFrame(const VideoWork& work, ScreenGrabber& grabber,
                          bool* screen_read = nullptr);

// The screen grabber of the track's capture size.
std::unique_ptr<ScreenGrabber> MakeGrabber(const VideoTrack& track);

// The video worker's frames: the track's capture as the start set it up
// (with `grabber`), or after a display change the display's new area fitted
// into the file's frame, or black; and the conditions watched with them.
class VideoSource {
 public:
  // `grabber`: the start's; null on the duplication path, where one is made
  // when the duplication ends.
  VideoSource(const VideoWork& work, SourceWatch& watch, ScreenGrabber* grabber);
  VideoSource(const VideoSource&) = delete;
  VideoSource& operator=(const VideoSource&) = delete;

  // Looks at the display, captures a frame and writes it; a failure is
  // recorded in the track's failure and the frame counted as dropped.
  void Capture();

 private:
  static CaptureArea StartArea(const VideoTrack& track);
  // Captures what `look` shows from now on; false when no bitmap could be
  // made for it (recorded as a failure; this frame is dropped and the
  // following ones are black).
  bool Follow(const DisplayWatch::Look& look);
  // Keeps the duplication path on what `look` shows: duplicates the area
  // again where it moved or changed size, or leaves the path for the
  // grabber when the display went away or cannot be duplicated again.
  void FollowDuplicated(const DisplayWatch::Look& look);
  void CaptureDuplicated(const DisplayWatch::Look& look);
  Status WriteFitted(std::int64_t now);
  void Watch(DisplayWatch::Sight sight, bool screen_read, bool written, std::int64_t now);

  VideoWork work_;
  VideoTrack& track_;  // work_'s
  SourceWatch& sources_;
  // The grabber of the start's area, made when first needed; null when it
  // could not be made (recorded as a failure; the frames are dropped).
  ScreenGrabber* StartGrabber();
  ScreenGrabber* start_grabber_;
  std::unique_ptr<ScreenGrabber> made_grabber_;
  DisplayWatch watch_;
  std::int32_t requested_fps_;
  bool shown_ = true;
  std::unique_ptr<ScreenGrabber> own_;   // the changed area's grabber, when not the start's
  std::unique_ptr<FrameScaler> scaler_;  // own_'s picture to fitted_, when sizes differ
  FrameSize fitted_{0, 0};
  std::vector<std::uint8_t> scaled_;
  std::vector<std::uint8_t> frame_;  // the file's frame: black, or the fitted picture on black
  ConditionTime screen_unread_;
  ConditionTime display_gone_;
  ConditionTime region_off_;
  CaptureRate rate_;
  std::optional<double> lowest_rate_;
};

// Writes the next frame of `source`. While the writer holds a few frames it
// has not encoded yet, the frame is dropped (and counted) without being
// captured.
void CaptureFrame(TrackWriter& writer, VideoTrack& track, VideoSource& source);

// Advances `next` (the scheduled time of the coming frame, 100-ns) by one
// frame `interval`. Returns how long to sleep until then in whole milliseconds
// (0 when less than one is left), or nothing when `now` is already at or past
// it; `next` then restarts at `now` and the coming frame is captured at once.
std::optional<DWORD> NextFramePause(std::int64_t& next, std::int64_t now,
                                    std::int64_t interval = kVideoFrameInterval);

}  // namespace morl::recorder
