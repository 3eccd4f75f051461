// The recorder's capture halves as this test drives them: its screen grabber
// with the cursor drawn in, and its computer audio (loopback of the speakers
// mixed with the microphone) feeding a given sink writer through its own
// mixing worker. This file and its .cc are the only places that know the
// recorder's internal types.
#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <mmdeviceapi.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace capture_live {

// One grab as the recorder hands it to the video encoder: BGRX pixels,
// width x height, first row = bottom row of the screen. Empty when the
// grabber could not be prepared.
std::vector<std::uint32_t> GrabScreenWithCursor(int width, int height);

class ComputerAudio {
 public:
  // `sink` is referenced for the lifetime of this object.
  explicit ComputerAudio(IMFSinkWriter* sink);
  ComputerAudio(const ComputerAudio&) = delete;
  ComputerAudio& operator=(const ComputerAudio&) = delete;
  ~ComputerAudio();  // stops mixing and closes both captures

  // Opens loopback and microphone and declares the audio stream on the sink.
  // False, with the recorder's reason in `error`, when computer audio is off.
  bool SetUp(std::string& error);
  // For a system that cannot capture loopback (Wine refuses the capture
  // service of a loopback stream): the speakers are heard through
  // `speakers_monitor`, a recording endpoint that carries what they play,
  // opened by the recorder's own capture in the loopback capture's place;
  // the default microphone and the audio stream are set up as SetUp does.
  bool SetUpWithSpeakersFrom(IMMDevice* speakers_monitor, std::string& error);
  // Whether the microphone is mixed in, and why not.
  bool MicrophoneMixed() const;
  std::string MicrophoneError() const;

  // The mixing worker on its own thread; the track's clock starts now.
  // False when the recording's stop event could not be made.
  bool StartMixing();
  void StopMixing();
  // The recorder clock (100-ns ticks) and its value at StartMixing.
  static std::int64_t Now();
  std::int64_t StartTime() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace capture_live
