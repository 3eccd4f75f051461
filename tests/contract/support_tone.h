// Tones for the audio cases: play a sine of a chosen frequency and peak level
// into what the speakers play (so loopback capture hears it) or into what the
// microphone hears, and measure a tone in captured samples.
//
// Under Wine the tones come from the session's tone player (tools/wine-session
// starts it and names its request folder in MORL_TONE_DIR); on the simulated
// machine they set the endpoints' signals. Each call returns once the change
// is audible; false (with one line on stderr) when no player answers.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace contract {

enum class ToneTarget {
  kSpeakers,    // the default playback device
  kMicrophone,  // the default recording device
};

bool StartTone(ToneTarget target, double hz, double level);
bool StopTone(ToneTarget target);

// Why tones cannot be played here (no player), or empty when they can.
std::string ToneUnavailableReason();

// Stops, when it goes out of scope, every tone this process started and did
// not stop, on every path out of a case (a failed ASSERT included), so no
// tone sounds into the next case.
class TonesStoppedAtExit {
 public:
  TonesStoppedAtExit() = default;
  TonesStoppedAtExit(const TonesStoppedAtExit&) = delete;
  TonesStoppedAtExit& operator=(const TonesStoppedAtExit&) = delete;
  ~TonesStoppedAtExit();
};

// A recording endpoint that exists only for the case that takes it away: the
// monitor of the session's spare sink "morl_spare" under Wine (unloading the
// sink takes the endpoint away, as unplugging a USB microphone does), an
// endpoint of that name on the simulated machine. Whatever was removed is
// put back when the object goes out of scope.
class SpareEndpoint {
 public:
  static constexpr wchar_t kName[] = L"morl_spare";
  SpareEndpoint();
  SpareEndpoint(const SpareEndpoint&) = delete;
  SpareEndpoint& operator=(const SpareEndpoint&) = delete;
  ~SpareEndpoint();
  // Takes the endpoint away; false (with one line on stderr) when that
  // cannot be asked for.
  bool Remove();

 private:
  bool removed_ = false;
};

// Peak amplitude of the `hz` component of `samples` (one channel at `rate`),
// by the Goertzel recurrence over the whole 10 ms blocks: a full-scale sine
// of that frequency gives 1.0. Exact for tones with whole cycles per 10 ms
// (multiples of 100 Hz).
double ToneAmplitude(const std::vector<float>& samples, double rate, double hz);

// The amplitude of the `hz` component in each whole 100 ms of `samples`, and
// their median: the level most of the stretch holds, which a shift in the
// tone's phase (a sound server dropping or repeating a few milliseconds)
// does not lower as one measurement over the whole stretch would.
std::vector<double> ToneAmplitudes(const std::vector<float>& samples, double rate, double hz);
double MedianToneAmplitude(const std::vector<float>& samples, double rate, double hz);

// Level in decibels of `amplitude` relative to `reference`.
double DecibelsRelative(double amplitude, double reference);

}  // namespace contract
