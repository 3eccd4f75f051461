// The simulated IMFSinkWriter. It checks its calls as Media Foundation does,
// records them for tests (winsim::SinkWriters) and, when encoding is on,
// writes a real MP4 file through a SinkWriterEncoder on its own thread.
//
// Life: AddStream / SetInputMediaType, then BeginWriting (opens the encoder),
// WriteSample (holds the sample and queues it), Finalize (drains and
// completes the file). Released without Finalize, the thread stops and the
// file stays unfinished, as on Windows. All methods are thread-safe.
#pragma once

#include <mfreadwrite.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sink_writer_encoder.h"
#include "sink_writer_media_types.h"
#include "sink_writer_progress.h"
#include "sink_writer_record.h"
#include "win32sim/com.h"

namespace winsim {

class SinkWriter final : public ComObject<IMFSinkWriter> {
 public:
  // `path` is empty when nothing is encoded.
  SinkWriter(std::string path, bool throttled, SinkRecordHandle record);

  HRESULT AddStream(IMFMediaType* type, DWORD* index) override;
  HRESULT SetInputMediaType(DWORD index, IMFMediaType* type, IMFAttributes* parameters) override;
  HRESULT BeginWriting() override;
  HRESULT WriteSample(DWORD index, IMFSample* sample) override;
  HRESULT SendStreamTick(DWORD index, LONGLONG timestamp) override;
  HRESULT PlaceMarker(DWORD index, LPVOID context) override;
  HRESULT NotifyEndOfSegment(DWORD index) override;
  HRESULT Flush(DWORD index) override;
  HRESULT Finalize() override;
  HRESULT GetServiceForStream(DWORD index, REFGUID service, REFIID riid, LPVOID* object) override;
  HRESULT GetStatistics(DWORD index, MF_SINK_WRITER_STATISTICS* stats) override;

 private:
  enum class State { kConfiguring, kWriting, kFinalized };
  // A throttled writer lets this many samples wait for the encoder.
  static constexpr std::size_t kThrottleQueue = 8;

  void Note(const char* call);
  HRESULT OpenEncoder();

  std::mutex mutex_;
  const std::string path_;
  const bool throttled_;
  const SinkRecordHandle record_;
  State state_ = State::kConfiguring;
  std::vector<SinkStreamFormat> streams_;
  std::shared_ptr<SinkWriterEncoder> encoder_;    // shared with a WriteSample in progress
  const std::shared_ptr<SinkProgress> progress_;  // shared with the encoder thread
};

}  // namespace winsim
