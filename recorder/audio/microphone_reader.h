// The microphone reader: reads the microphone in the source reader's asynchronous
// mode, so that nothing ever blocks on the device. The reader's own thread
// calls OnReadSample with each buffer; the buffer is placed on the
// recording's timeline, written to the AAC stream and the next one asked for.
// Stop marks the reader stopped, flushes the source reader and waits a
// bounded time for OnFlush: a device that never delivers cannot hold the
// stop. After Stop no callback touches the recording any more.
//
// Read failures are retried a few times in a row (a device may hiccup); one
// more, or a device that went away, and the microphone counts as lost: the
// failure goes to the audio track's failure and no more reads are asked for
// until the follower (RunMicrophoneFollower) switches to a new reader.
#pragma once

#include <windows.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "recorder/audio/audio_track.h"
#include "recorder/audio/mic_aligner.h"
#include "recorder/audio/microphone.h"
#include "recorder/media_time.h"
#include "recorder/recording_clock.h"
#include "recorder/worker_failure.h"
#include "recorder/worker_stop.h"
#include "win32_support/com_ref.h"

namespace morl::recorder {

// The callback object. COM interfaces have no virtual destructor; the object
// deletes itself in Release, so its own (private) destructor is the one run,
// and the compilers' warning about the base's destructor does not apply.
#if defined(_MSC_VER)
#pragma warning(push)
#pragma warning(disable : 4265)
#elif defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif
class MicrophoneReader final : public IMFSourceReaderCallback {
 public:
  // Reference-counted; starts with one reference owned by the caller.
  // Writes to `work`'s track the buffers of `input`'s readers.
  MicrophoneReader(const AudioWork& work, MicrophoneInput& input);

  // Asks for the first buffer from `reader` (not owned: `input` owns it,
  // and the reader holds a reference to this callback).
  HRESULT Start(IMFSourceReader* reader);
  void Stop();
  // Moves reading to `reader`, a new source reader answering this callback
  // (another device, or the same one back): the current one is flushed and
  // released, and the new device's buffers are placed on the track afresh,
  // after the silence of the time nothing was read.
  HRESULT SwitchTo(ComRef<IMFSourceReader> reader);
  // Why the device stopped delivering (it went away), or S_OK.
  HRESULT lost() const { return lost_.load(); }
  // Called every few milliseconds at time `now`: when the device has
  // delivered nothing for longer than kLongestAudioLag and a buffer's length
  // (it stalled, went away or never delivered), writes silence up to that
  // far behind the recording's clock, so that the sink does not hold the
  // video back.
  void KeepUpWithClock(std::int64_t now);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IMFSourceReaderCallback
  HRESULT STDMETHODCALLTYPE OnReadSample(HRESULT hr, DWORD stream_index, DWORD stream_flags,
                                         LONGLONG timestamp, IMFSample* sample) override;
  HRESULT STDMETHODCALLTYPE OnFlush(DWORD stream_index) override;
  HRESULT STDMETHODCALLTYPE OnEvent(DWORD stream_index, IMFMediaEvent* event) override;

 private:
  ~MicrophoneReader();
  HRESULT RequestNext();
  void Write(IMFSample* sample, LONGLONG timestamp);
  // Places `frames` frames of `pcm` stamped `timestamp` on the track and
  // writes them to the AAC stream, leaving out what was captured while the
  // recording was paused.
  void WriteFrames(const std::int16_t* pcm, std::size_t frames, LONGLONG timestamp);
  // Which of `frames` frames stamped `timestamp` are recorded.
  RecordingClock::Run RecordedRun(std::size_t frames, LONGLONG timestamp) const;
  // Writes the buffers held while the timeline settled.
  void WriteHeld();
  // Writes what the aligner appended to `pcm_` from track frame `from` on;
  // `delivered` when it carries the device's audio, not only silence.
  void WriteAligned(std::int64_t from, bool delivered);
  // The recorded time at wall time `now`, from the recording's start.
  std::int64_t RecordedTime(std::int64_t now) const;

  struct HeldBuffer {
    std::vector<std::int16_t> pcm;
    std::size_t frames;
    LONGLONG timestamp;
  };

  std::atomic<ULONG> refs_{1};
  AudioWork work_;
  MicrophoneInput& input_;
  MicTimeline timeline_;
  MicAligner aligner_;
  std::vector<std::int16_t> in_;   // the device's frames of the buffer being written
  std::vector<std::int16_t> pcm_;  // the same, aligned on the track
  std::vector<HeldBuffer> held_;   // the first buffers, until the timeline settles
  std::int64_t held_ticks_ = 0;
  std::int64_t held_since_ = 0;      // recorded time the first held buffer came
  std::int64_t longest_buffer_ = 0;  // ticks, of any device this recording read
  bool settled_ = false;
  HANDLE flushed_ = nullptr;  // signalled by OnFlush; a wait takes the signal
  std::mutex mutex_;          // held by each callback; Stop takes it to end them
  IMFSourceReader* reader_ = nullptr;
  bool stopped_ = false;
  int failures_in_a_row_ = 0;
  std::atomic<HRESULT> lost_{S_OK};
};
#if defined(_MSC_VER)
#pragma warning(pop)
#elif defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// The microphone read for a recording of the microphone alone.
// Threads: the start sets every field before the follower is launched; then
// the follower alone changes `endpoint_id`, and `reader` only through the
// callback's SwitchTo, under the callback's lock. `sample_rate` and
// `channels` stay as the start set them.
struct MicrophoneInput {
  ComRef<IMFSourceReader> reader;     // asynchronous, answering `callback`
  ComRef<MicrophoneReader> callback;  // the reader's callback
  std::wstring endpoint_id;           // the microphone read now
  bool follows_default = false;       // it moves with the default microphone
  std::uint32_t sample_rate = kMixRate;
  std::uint32_t channels = 2;
};

// Makes the reader's callback, to be given to the source reader as
// MF_SOURCE_READER_ASYNC_CALLBACK and kept in `input.callback`.
ComRef<MicrophoneReader> MakeMicrophoneReader(const AudioWork& work, MicrophoneInput& input);

// Asks `input.reader` for the first buffer.
HRESULT StartMicrophoneReader(MicrophoneInput& input);
// Ends the reads of the microphone; harmless when none runs.
void StopMicrophoneReader(MicrophoneInput& input);
// Reads from `reader` instead of `input.reader` from now on.
HRESULT SwitchMicrophoneReader(MicrophoneInput& input, ComRef<IMFSourceReader> reader);
// Why the microphone stopped delivering, or S_OK.
HRESULT MicrophoneLost(const MicrophoneInput& input);

// Thread entry, microphone alone: keeps the recording on the microphone it
// belongs on while devices change (the default one, or the one chosen when
// it returns), and the track up with the clock while none delivers, until
// `stop`. A device it leaves because it went away is recorded in `failure`.
void RunMicrophoneFollower(const WorkerStop& stop, MicrophoneInput& input, WorkerFailure& failure);

}  // namespace morl::recorder
