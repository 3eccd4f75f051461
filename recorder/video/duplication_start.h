// The start's choice of how the screen is read: desktop duplication, when
// the recorded display's adapter duplicates it (and, for a frame of another
// size than the display, has a video processor to scale it), else the GDI
// grabber. The choice is made per recording and reported by the status
// ("capture"); the worker keeps duplicating through display changes while
// it can.
#pragma once

#include "recorder/recorder_error.h"
#include "recorder/video/capture_area.h"
#include "recorder/video/video_track.h"

namespace morl::recorder {

// Sets up `video`'s duplication path for `area`, recorded at `recorded`.
// False (and nothing set up) when it cannot be used; why goes to the
// recorder's diagnostics, since the grabber then records as it always can.
bool SetUpDuplication(VideoTrack& video, const CaptureArea& area, FrameSize recorded);

// Makes the duplicated pictures into frames of `recorded` instead, for an
// encoder that took a smaller size than asked. False when that cannot be
// done: the path is then taken down (StopDuplication).
bool FitDuplication(VideoTrack& video, FrameSize recorded);

// Duplicates `area` instead, after a display change left the recorded
// display shown at another size or place: its pictures fitted into the
// recording's frame, centred. False when it cannot be duplicated or
// scaled: the path is then taken down and the grabber goes on.
bool FollowDuplicatedArea(VideoTrack& video, const CaptureArea& area);

// Writes the first frame from the duplication. False when it gives no image
// or the image cannot be made into a frame: the path is then taken down and
// the grabber writes the first frame and the rest. A frame the sink writer
// refuses is an error, as the grabber's would be.
Result<bool> WriteFirstDuplicatedFrame(const VideoWork& work);

// Takes `video`'s duplication path down: the grabber records from now on.
void StopDuplication(VideoTrack& video);

}  // namespace morl::recorder
