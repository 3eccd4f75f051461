// The simulated IMFSinkWriter. It checks its calls as Media Foundation does,
// records them for tests (winsim::SinkWriters) and, when encoding is on,
// writes a real MP4 file through a SinkWriterEncoder on its own thread.
// All methods are thread-safe.
//
// The documented rules it holds callers to (each has a test in
// sink_writer_rules_test.cc or sink_writer_test.cc):
//  1. Order. AddStream and SetInputMediaType only before BeginWriting;
//     BeginWriting once, with at least one stream; WriteSample only between
//     BeginWriting and Finalize. Out of order: MF_E_INVALIDREQUEST. An
//     unknown stream index: MF_E_INVALIDSTREAMNUMBER.
//  2. After Finalize every call that writes or configures fails with
//     MF_E_INVALIDREQUEST, Finalize included; GetStatistics still answers.
//     SendStreamTick marks a gap in a stream between BeginWriting and
//     Finalize (order and stream number checked as for WriteSample);
//     PlaceMarker, NotifyEndOfSegment and Flush are not offered
//     (E_NOTIMPL).
//  3. Finalize when no stream was given a sample: MF_E_SINK_NO_SAMPLES_PROCESSED,
//     and the file is left without its index. A stream without samples
//     beside one with samples is fine.
//  4. Times and durations are 100-ns units. A sample without a time:
//     MF_E_NO_SAMPLE_TIMESTAMP. The AAC encoder needs each sample's duration:
//     none or zero gives MF_E_NO_SAMPLE_DURATION (Windows' encoder would
//     divide by zero on a zero duration).
//  5. RGB32 row order. MF_MT_DEFAULT_STRIDE positive: top-down; negative:
//     bottom-up. Without it an RGB type is bottom-up (the first row in memory
//     is the bottom of the picture, as in a GDI DIB), which is how the
//     colour converter in front of the H.264 encoder reads it. The stride's
//     size must be width * 4 (MF_E_INVALIDMEDIATYPE otherwise).
//  6. The MP4 file takes one H.264 and one AAC stream, with a frame size, or
//     a rate and channel count (MF_E_INVALIDMEDIATYPE at AddStream).
//  7. The H.264 encoder needs MF_MT_AVG_BITRATE above zero, a frame rate, an
//     interlace mode, even width and height, and at most 4096 x 2304 pixels
//     (or the machine file's "encoder": {"max_width", "max_height"});
//     its input is RGB32 of the same size. Otherwise SetInputMediaType finds
//     no encoder: MF_E_TOPO_CODEC_NOT_FOUND. There is no documented smallest
//     size; 2 x 2 is taken.
//  8. The AAC encoder takes 16-bit PCM at 44100 or 48000 Hz, mono or stereo
//     (Windows 10 adds 5.1, which the simulation does not encode), at 12000,
//     16000, 20000 or 24000 bytes per second (12000 when unset), the output's
//     bits per sample 16. Otherwise MF_E_TOPO_CODEC_NOT_FOUND. PCM of another
//     rate or channel count than the output: MF_E_INVALIDMEDIATYPE.
//  9. A video sample holds at least one whole frame (MF_E_BUFFERTOOSMALL);
//     audio is taken in whole PCM frames.
// 10. GetStatistics: cb must be the structure's size (E_INVALIDARG);
//     MF_SINK_WRITER_ALL_STREAMS adds up all streams.
// 11. Throttled (the default) WriteSample waits while the encoder is behind;
//     with MF_SINK_WRITER_DISABLE_THROTTLING it never waits.
// 12. Once writing the file has failed (a full disk: 0x80070070), the next
//     WriteSample and Finalize return that failure.
// 13. MF_TRANSCODE_CONTAINERTYPE = MFTranscodeContainerType_FMPEG4 writes
//     fragmented MP4. The key frame interval is CODECAPI_AVEncMPVGOPSize
//     among SetInputMediaType's encoding parameters, else the output type's
//     MF_MT_MAX_KEYFRAME_SPACING, else two seconds of frames.
// 14. With an encoder latency of N frames (the machine file's "encoder":
//     {"latency_frames": N}), GetStatistics counts a video frame as encoded
//     and processed only once N later frames were written; Finalize drains.
// 15. MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS = TRUE lets the writer encode
//     video with the machine GPU's H.264 encoder (the "gpu" key's
//     "encoders" has "h264") for frames up to the GPU's "max_width" x
//     "max_height"; otherwise, and without the attribute, the software
//     encoder of rule 7 takes the stream. Only when neither takes it:
//     MF_E_TOPO_CODEC_NOT_FOUND.
// 16. IMFSinkWriterEx::GetTransformForStream gives a stream's transforms once
//     its input type is set (sink_transforms.h): a transform index past them
//     is MF_E_INVALIDINDEX. GetServiceForStream with GUID_NULL asks the
//     stream's encoder for an interface (the H.264 encoder's ICodecAPI);
//     without an encoder yet, for the media sink, or with a service GUID:
//     MF_E_UNSUPPORTED_SERVICE.
// 17. A video sample whose one buffer is a DXGI surface buffer is read from
//     its texture, which must be B8G8R8A8 or B8G8R8X8 of the stream's size
//     (MF_E_INVALIDMEDIATYPE otherwise); its rows are top-down whatever the
//     input type's stride. This holds with or without a DXGI device manager
//     (MF_SINK_WRITER_D3D_MANAGER): without one, Windows maps the texture
//     into system memory for the software encoder. The attribute must hold
//     an IMFDXGIDeviceManager (E_INVALIDARG at MFCreateSinkWriterFromURL).
// The source reader of the microphone (source_reader.cc) holds these: its
// native type is 32-bit float; SetCurrentMediaType takes float or 16-bit
// PCM at the device's own rate and channel count (MF_E_INVALIDMEDIATYPE
// otherwise); a synchronous ReadSample blocks until a buffer is ready, stamps
// it in 100-ns units, wants a sample pointer (E_POINTER; Windows wants the
// flags pointer too, which the simulation does not check yet) and ends with
// MF_SOURCE_READERF_ENDOFSTREAM and no sample.
//
// Life: AddStream / SetInputMediaType, then BeginWriting (opens the encoder),
// WriteSample (holds the sample and queues it), Finalize (drains and
// completes the file). Released without Finalize, the thread stops and the
// file stays unfinished, as on Windows.
#pragma once

#include <mfreadwrite.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kernel/kernel_file_rules.h"
#include "mf/sink_writer_encoder.h"
#include "mf/sink_writer_media_types.h"
#include "mf/sink_writer_progress.h"
#include "mf/sink_transforms.h"
#include "mf/sink_writer_record.h"
#include "win32sim/com.h"

namespace winsim {

class SinkWriter final : public ComObject<IMFSinkWriterEx> {
 public:
  // `path` is empty when nothing is encoded; `output` says how the file is
  // laid out and how large it may grow.
  // `file` is the writer's open of its file, let go once the file is
  // finalized or the writer is released.
  // `hardware_allowed`: MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS was TRUE.
  SinkWriter(std::string path, bool throttled, bool hardware_allowed, mp4::OutputOptions output,
             SinkRecordHandle record, int video_latency_frames, std::unique_ptr<FileOpen> file);

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
  HRESULT GetTransformForStream(DWORD index, DWORD transform_index, GUID* category,
                                IMFTransform** transform) override;

  // The DXGI device manager given as MF_SINK_WRITER_D3D_MANAGER, held for
  // the writer's life.
  void HoldDeviceManager(ComRef<IMFDXGIDeviceManager> manager) {
    d3d_manager_ = std::move(manager);
  }

 protected:
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IMFSinkWriter) return static_cast<IMFSinkWriter*>(this);
    return ComObject<IMFSinkWriterEx>::FindInterface(riid);
  }

 private:
  enum class State { kConfiguring, kWriting, kFinalized };
  // A throttled writer lets this many samples wait for the encoder.
  static constexpr std::size_t kThrottleQueue = 8;

  void Note(const char* call);
  HRESULT OpenEncoder();
  // Stream `index` has a sample (or a tick) from `start` to `end`; records
  // how far the streams are apart now. Called with the lock held.
  void WrittenUntil(DWORD index, std::int64_t start, std::int64_t end);

  // How far a stream is written: the start of its latest sample, and the
  // end of what it covers.
  struct StreamWritten {
    std::int64_t start = 0;
    std::int64_t until = 0;
  };

  std::mutex mutex_;
  const std::string path_;
  const bool throttled_;
  const bool hardware_allowed_;
  const mp4::OutputOptions output_;
  const SinkRecordHandle record_;
  State state_ = State::kConfiguring;
  std::vector<SinkStreamFormat> streams_;
  std::vector<StreamTransforms> transforms_;      // per stream; empty until its input type
  std::vector<StreamWritten> written_;            // per stream, from BeginWriting
  std::shared_ptr<SinkWriterEncoder> encoder_;    // shared with a WriteSample in progress
  const std::shared_ptr<SinkProgress> progress_;  // shared with the encoder thread
  std::unique_ptr<FileOpen> file_;
  ComRef<IMFDXGIDeviceManager> d3d_manager_;
};

}  // namespace winsim
