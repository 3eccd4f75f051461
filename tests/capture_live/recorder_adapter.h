// The recorder's capture halves as this test drives them: its screen grabber
// with the cursor drawn in, the displays it lists and the area it resolves
// for a display and region, the audio endpoints it lists and finds by id,
// the microphone it opens by id, and its computer audio (loopback of the
// speakers mixed with the microphone) feeding a given sink writer through
// its own mixing worker. This file and its .cc are the only places that know
// the recorder's internal types.
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

// How a recording of the primary display reads the screen, as its status
// says: "duplication" when the start can set up desktop duplication of it,
// else "gdi".
std::string PrimaryCapturePath();

// A display as the recorder lists it for "displays".
struct Display {
  int id = 0;
  std::wstring name;
  int left = 0, top = 0, width = 0, height = 0;
  bool primary = false;
  int dpi = 0;
};
std::vector<Display> RecorderDisplays();

// What a recording of `display` limited to `region` (in that display's
// pixels) copies: the area the recorder resolves, and one grab of it by the
// recorder's grabber, which draws the cursor only while it is on that
// display. `pixels` is laid out as GrabScreenWithCursor's and empty when the
// area was refused (`code`, `message`) or the grabber could not be prepared.
struct AreaGrab {
  bool resolved = false;
  std::string code;
  std::string message;
  int left = 0, top = 0, width = 0, height = 0;  // on the virtual screen
  std::vector<std::uint32_t> pixels;
};
AreaGrab GrabDisplayRegion(int display, int left, int top, int width, int height);

// An audio endpoint as the recorder lists it for "audioDevices".
struct Endpoint {
  std::wstring id;
  std::wstring name;
  bool is_default = false;
};
HRESULT RecorderAudioDevices(std::vector<Endpoint>& microphones, std::vector<Endpoint>& speakers);
// The recorder's lookup of an endpoint the user chose: the active capture
// (`capture`) or playback endpoint with `id`; on success `found_id` is the id
// the found endpoint reports.
HRESULT FindEndpointById(bool capture, const std::wstring& id, std::wstring& found_id);

// The microphone computer audio mixes in, opened by id the way a recording
// with "microphoneId" opens it (the default one for an empty id), and
// drained the way the mixer drains it, without the mixer.
class ChosenMicrophone {
 public:
  ChosenMicrophone();
  ChosenMicrophone(const ChosenMicrophone&) = delete;
  ChosenMicrophone& operator=(const ChosenMicrophone&) = delete;
  ~ChosenMicrophone();  // closes the capture

  // False, with the recorder's reason in `error`, when it could not be opened.
  bool Open(const std::wstring& id, std::string& error);
  // Queues every packet the device has delivered.
  void Drain();
  // The capture's own rate, and the first channel of everything queued.
  double Rate() const;
  std::vector<float> LeftChannel() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

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
