// Microphone-only audio: the default microphone read through a Media
// Foundation device source as 16-bit PCM and written unchanged, at its own
// rate (44.1 or 48 kHz) and channel count (mono or stereo), to an AAC track.
#pragma once

#include <windows.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <cstdint>
#include <string>

#include "recorder/recorder_error.h"
#include "win32_support/com_ref.h"

namespace morl::recorder {

struct AudioWork;
struct MicrophoneInput;

// Runs on the thread that starts the recording, before writing begins. On
// success `input`'s reader (asynchronous), callback (writing to `work`),
// endpoint id, rate and channels are set, the AAC stream declared on
// `work.writer` and `work.track.enabled` true, and the result is empty; on
// failure it says which step failed and why ("<step> hr=0x…", with a privacy
// hint when access was denied). Reading begins with StartMicrophoneReader.
std::string SetUpMicrophone(const AudioWork& work, MicrophoneInput& input,
                            const std::wstring& endpoint_id);

// Another microphone (or the same one back) for a recording under way: an
// asynchronous reader answering `callback`, asked for the track's rate and
// channels (`input`'s; the reader converts), or why it could not be opened.
Result<ComRef<IMFSourceReader>> OpenMicrophoneLike(const MicrophoneInput& input,
                                                   const std::wstring& endpoint_id,
                                                   IMFSourceReaderCallback* callback);

// Places microphone samples on the recording's timeline. Samples follow the
// device's timestamps, offset so that the first ends at the moment it was
// received, or earlier when a later sample arrives sooner after its end.
class MicTimeline {
 public:
  MicTimeline(std::uint32_t sample_rate, std::uint32_t channels)
      : bytes_per_second_(static_cast<std::int64_t>(sample_rate) * channels * 2) {}

  // Duration in 100-ns ticks of `bytes` of PCM.
  std::int64_t Duration(DWORD bytes) const;
  // Learns from a sample stamped `timestamp` by the device, received at
  // `now`, lasting `duration`, where the device's time line sits on the
  // recording's.
  void Observe(std::int64_t timestamp, std::int64_t duration, std::int64_t now,
               std::int64_t start_time);
  // Sample time of a sample stamped `timestamp`, as far as learnt so far.
  std::int64_t TimeOf(std::int64_t timestamp) const;
  // Observe, then TimeOf.
  std::int64_t Place(std::int64_t timestamp, std::int64_t duration, std::int64_t now,
                     std::int64_t start_time);

 private:
  std::int64_t bytes_per_second_;
  bool first_ = true;
  std::int64_t offset_ = 0;
  std::int64_t first_timestamp_ = 0;
};

}  // namespace morl::recorder
