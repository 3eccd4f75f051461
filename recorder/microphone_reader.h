// MicrophoneReader: reads the microphone in the source reader's asynchronous
// mode, so that nothing ever blocks on the device. The reader's own thread
// calls OnReadSample with each buffer; the buffer is placed on the
// recording's timeline, written to the AAC stream and the next one asked for.
// Stop marks the reader stopped, flushes the source reader and waits a
// bounded time for OnFlush: a device that never delivers cannot hold the
// stop. After Stop no callback touches the session any more.
//
// Read failures are retried a few times in a row (a device may hiccup); one
// more, and the microphone counts as lost: the failure goes to the session's
// audioFailure and no more reads are asked for.
#pragma once

#include <windows.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <atomic>
#include <mutex>

#include "recorder/microphone.h"
#include "recorder/recording_session.h"

class MicrophoneReader final : public IMFSourceReaderCallback {
 public:
  // Reference-counted; starts with one reference owned by the caller.
  explicit MicrophoneReader(RecordingSession& session);

  // Asks for the first buffer from `reader` (not owned: the session owns it,
  // and the reader holds a reference to this callback).
  HRESULT Start(IMFSourceReader* reader);
  void Stop();
  // The reader behind the session's `micCallback`.
  static MicrophoneReader* Of(const RecordingSession& session);

  // IUnknown
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  // IMFSourceReaderCallback
  HRESULT OnReadSample(HRESULT hr, DWORD streamIndex, DWORD streamFlags, LONGLONG timestamp,
                       IMFSample* sample) override;
  HRESULT OnFlush(DWORD streamIndex) override;
  HRESULT OnEvent(DWORD streamIndex, IMFMediaEvent* event) override;

 private:
  ~MicrophoneReader();
  HRESULT RequestNext();
  void Write(IMFSample* sample, LONGLONG timestamp);

  std::atomic<ULONG> refs_{1};
  RecordingSession& session_;
  MicTimeline timeline_;
  HANDLE flushed_ = nullptr;  // signalled by OnFlush
  std::mutex mutex_;          // held by each callback; Stop takes it to end them
  IMFSourceReader* reader_ = nullptr;
  bool stopped_ = false;
  int failuresInARow_ = 0;
};
