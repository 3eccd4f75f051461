// Control API of the simulated Windows machine, for tests and for the
// machine file. Each area of the machine has its own header; this one holds
// the whole-machine operations, the screen, the cursor, the clock, files and
// the record of sink writers. Audio, windows and host settings live in
// winsim_audio.h, winsim_windows.h and winsim_host.h.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "win32sim/base.h"
#include "win32sim/machine_core.h"

namespace winsim {

// ---- Whole machine -------------------------------------------------------

// Back to the default machine: a 1920 x 1080 screen showing the animated
// desktop, a visible 32 x 32 arrow cursor at (100, 100) with hotspot (0, 0),
// the real clock, no injected failures, and every area's own defaults. Live
// object counts are not touched (they describe objects that still exist).
void ResetMachine();

// Applies a JSON machine file on top of the current machine. Returns false
// and fills `error` when the file cannot be read or holds an invalid value.
bool LoadMachineFile(const std::string& path, std::string* error);
bool LoadMachineJson(const std::string& json_text, std::string* error);
// Changes the running machine now, as a timeline entry of the machine file
// does (`{"displays": [...]}`, `{"render": [...]}`, `{"desktop": {"secure":
// true}}`, ...): the keys are applied and Windows' consequences follow
// (WM_DISPLAYCHANGE to top-level windows, endpoint notifications, invalid
// audio clients). False with `error` for an invalid patch.
bool ApplyMachinePatch(const std::string& json_text, std::string* error);
// Loads the file named by MORL_SIM_MACHINE, once per process, if set. The
// simulation calls this before the first API call that reads the machine.
void LoadMachineFromEnvironment();

// ---- Screen --------------------------------------------------------------

// Pixels are 0x00RRGGBB, rows top-down, `width` per row. The buffer covers
// the virtual screen: its top-left pixel is at (`left`, `top`), which is
// (0, 0), the primary display's corner, unless displays lie left of or above
// the primary.
struct Screen {
  int width = 1920;
  int height = 1080;
  int left = 0;
  int top = 0;
  std::vector<std::uint32_t> pixels;
  // When set, called before every read of the screen (BitBlt) with the time
  // in 100-ns ticks so the desktop can move; it may repaint `pixels`.
  std::function<void(Screen& screen, std::int64_t now_100ns)> animate;
};
// The metrics reported by GetSystemMetrics(SM_CXSCREEN / SM_CYSCREEN) may
// differ from the pixel buffer (for example 1 or 0 wide); SetScreenSize
// sets both and repaints the buffer black.
void SetScreenSize(int width, int height);
void SetScreenMetrics(int cx, int cy);
Screen& GetScreen();
// Fills the screen with a still pattern: every pixel `rgb`, or the top half
// `top` and the bottom half `bottom`.
void FillScreen(std::uint32_t rgb);
void FillScreenHalves(std::uint32_t top, std::uint32_t bottom);
// The animated demo desktop: a gradient with a moving block.
void AnimateDesktop();

// ---- Cursor --------------------------------------------------------------

struct Cursor {
  bool visible = true;
  int x = 100;
  int y = 100;
  int hotspot_x = 0;
  int hotspot_y = 0;
  int width = 32;
  int height = 32;
  // 0xAARRGGBB, top-down; alpha 0 is transparent. Empty: a white arrow with
  // a black outline.
  std::vector<std::uint32_t> image;
  // When set, called before every cursor query with the time in 100-ns
  // ticks, so the cursor can move.
  std::function<void(Cursor& cursor, std::int64_t now_100ns)> animate;
};
Cursor& GetCursor();

// ---- Clock ---------------------------------------------------------------

// The performance counter is real by default (frequency 10 MHz). A manual
// clock stands still until advanced; Sleep (and a timed wait that times out)
// on a manual clock moves it to the timer tick where the wait ends (below)
// and returns at once.
void UseManualClock(std::int64_t counter = 0, std::int64_t frequency = 10'000'000);
void UseRealClock();
void AdvanceClock(std::int64_t ticks);  // counter ticks of the manual clock
// Called on every Sleep(ms), after the clock moved, on the sleeping thread.
void SetSleepHook(std::function<void(DWORD ms)> hook);
// The real clock's speed: machine time runs `speed` times as fast as the
// wall clock (counter, message times, timers, waits and the audio devices).
// From 1 to 100; false, and nothing changes, outside. Default 1.
bool SetClockSpeed(double speed);
double ClockSpeed();

// ---- Timer resolution ------------------------------------------------------

// Sleep and timed waits end on the first timer tick at or after their due
// time; ticks lie at multiples of the resolution from machine time 0. The
// machine's own resolution is 15.625 ms by default; from 0.5 to 15.625
// (false, and nothing changes, outside). timeBeginPeriod makes it finer
// while the period is begun. ResetMachine ends every period begun.
bool SetTimerResolution(double ms);
double TimerResolutionInForce();  // ms

// ---- Files ---------------------------------------------------------------

// GetFileAttributesExW reads the real file system; this reports `size` for
// `path` instead (for sizes a test cannot write).
void SetFileSizeOverride(const std::wstring& path, std::uint64_t size);

// ---- Media Foundation ------------------------------------------------------

// Whether an MFStartup is in force that no MFShutdown has balanced yet.
bool MediaFoundationStarted();

// ---- Sink writers ----------------------------------------------------------

struct SinkSample {
  DWORD stream = 0;
  std::int64_t time = 0;
  std::int64_t duration = 0;
  std::size_t bytes = 0;
  std::uint32_t first_pixel = 0;  // video: the first 4 bytes of the buffer
};
struct SinkStream {
  GUID major_type{};
  GUID subtype{};  // of the output type
  GUID input_subtype{};
  std::uint32_t width = 0, height = 0;             // video
  std::uint32_t rate = 0, channels = 0, bits = 0;  // audio input
  std::uint32_t bitrate = 0;  // MF_MT_AVG_BITRATE or MF_MT_AUDIO_AVG_BYTES_PER_SECOND * 8
  std::uint32_t key_frame_interval = 0;    // video: frames asked for; 0: the encoder's choice
  std::uint32_t fps_num = 0, fps_den = 0;  // video: MF_MT_FRAME_RATE of the output type
  std::int32_t default_stride = 0;         // video input: MF_MT_DEFAULT_STRIDE; 0 when unset
  bool hardware_encoder = false;           // video: the GPU's H.264 encoder took the stream
};
struct SinkWriterRecord {
  std::wstring path;
  bool throttling_disabled = false;
  bool fragmented = false;   // created for MFTranscodeContainerType_FMPEG4
  bool d3d_manager = false;  // given a DXGI device manager (MF_SINK_WRITER_D3D_MANAGER)
  // Every call but WriteSample, failed ones too: "AddStream", "SetInputMediaType",
  // "BeginWriting", "Finalize", ... WriteSample shows in `samples`.
  std::vector<std::string> calls;
  std::vector<SinkStream> streams;
  std::vector<SinkSample> samples;  // the samples the writer accepted
  bool finalized = false;           // Finalize succeeded
  std::size_t samples_encoded = 0;  // of `samples`, the ones the encoder has taken
  // Video frames handed over in a texture that was written after WriteSample
  // and before the encoder took the frame: on Windows such a frame is
  // recorded drawn over, or torn.
  std::size_t frames_drawn_over = 0;
  // How long, at most, the media sink held a sample back to interleave it
  // with the other streams, in 100-ns units: the most that the start of one
  // stream's latest sample lay past the end of what another stream had been
  // written (samples, or a stream tick) at the time.
  std::int64_t longest_stream_lag = 0;
};
// Every sink writer created since ResetMachine, oldest first (a copy).
std::vector<SinkWriterRecord> SinkWriters();
// Forgets the record of sink writers; ResetMachine does this too.
void ResetSinkWriters();
// Whether sink writers created from now on also encode a real MP4 file
// (default true). Unit tests that only look at the record turn it off.
void SetSinkEncoding(bool encode);
// While held, the encoders of all sink writers take no work: samples queue
// up (a throttled writer then makes WriteSample wait). Released by
// HoldSinkEncoding(false) and by ResetMachine.
void HoldSinkEncoding(bool hold);
// The room left on the volume the recordings go to, for writers created from
// now on: each file may grow to `bytes`, then its writes fail as on a full
// disk. Negative: unlimited (the default, and after ResetMachine). The
// machine file sets it with "disk": {"free_bytes": N}.
void SetDiskFreeBytes(std::int64_t bytes);

}  // namespace winsim
