// The start's choice of how the screen is read: desktop duplication, when
// the recorded display's adapter duplicates it and its frame goes to the
// encoder unscaled, else the GDI grabber. The choice is made per recording
// and reported by the status ("capture").
#pragma once

#include "recorder/recorder_error.h"
#include "recorder/video/capture_area.h"
#include "recorder/video/video_track.h"

namespace morl::recorder {

// Sets up `video`'s duplication path for `area`, recorded at `recorded`.
// False (and nothing set up) when it cannot be used; why goes to the
// recorder's diagnostics, since the grabber then records as it always can.
bool SetUpDuplication(VideoTrack& video, const CaptureArea& area, FrameSize recorded);

// Writes the first frame from the duplication. False when it gives no image
// or the image cannot be made into a frame: the path is then taken down and
// the grabber writes the first frame and the rest. A frame the sink writer
// refuses is an error, as the grabber's would be.
Result<bool> WriteFirstDuplicatedFrame(const VideoWork& work);

// Takes `video`'s duplication path down: the grabber records from now on.
void StopDuplication(VideoTrack& video);

}  // namespace morl::recorder
