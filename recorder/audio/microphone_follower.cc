// The microphone-alone recording's follower: moves the reading to the new
// default microphone, or back to the chosen one when it returns, and keeps
// the track up with the clock while the microphone delivers nothing.
#include <mferror.h>

#include "recorder/audio/endpoint_lookup.h"
#include "recorder/audio/endpoint_notifications.h"
#include "recorder/audio/microphone.h"
#include "recorder/audio/microphone_reader.h"
#include "recorder/now_100ns.h"
#include "win32_support/com_apartment.h"

namespace morl::recorder {

namespace {

// How often the track is kept up with the clock when the microphone
// delivers nothing (a fraction of kLongestAudioLag), how often the devices
// are looked at when a notification came, and how often a lost microphone is
// looked for without one.
constexpr DWORD kStepMs = 20;
constexpr std::int64_t kLookEveryTicks = 1'000'000;  // 0.1 s
constexpr std::int64_t kRetryTicks = 5'000'000;      // 0.5 s

// The microphone the recording belongs on now: false when there is none.
bool WantedMicrophone(IMMDeviceEnumerator* enumerator, const MicrophoneInput& input,
                      std::wstring& id) {
  ComRef<IMMDevice> device;
  if (input.follows_default) {
    return SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, device.Put())) &&
           SUCCEEDED(EndpointId(device.Get(), id));
  }
  id = input.endpoint_id;
  return SUCCEEDED(FindActiveEndpoint(enumerator, eCapture, id, device.Put()));
}

// One look at the devices: switches when the microphone read is lost or no
// longer the one wanted.
void Follow(IMMDeviceEnumerator* enumerator, MicrophoneInput& input, WorkerFailure& failure) {
  std::wstring id;
  if (!WantedMicrophone(enumerator, input, id)) return;
  const bool lost = FAILED(MicrophoneLost(input));
  if (!lost && id == input.endpoint_id) return;
  // Leaving a device that went away is its loss, even when the reader has
  // not noticed yet.
  ComRef<IMMDevice> old;
  if (!lost && FAILED(FindActiveEndpoint(enumerator, eCapture, input.endpoint_id, old.Put()))) {
    failure.Record("mic device lost", MF_E_AUDIO_RECORDING_DEVICE_INVALIDATED);
  }
  Result<ComRef<IMFSourceReader>> reader = OpenMicrophoneLike(input, id, input.callback.Get());
  if (!reader) return;  // tried again on the next change or retry
  input.endpoint_id = id;
  SwitchMicrophoneReader(input, std::move(*reader));
}

}  // namespace

void RunMicrophoneFollower(const WorkerStop& stop, MicrophoneInput& input, WorkerFailure& failure) {
  // Declared first, so the apartment is left after every COM object below.
  const ComApartment apartment(COINIT_MULTITHREADED);
  ComRef<IMMDeviceEnumerator> enumerator;
  if (FAILED(CreateDeviceEnumerator(enumerator))) enumerator.Reset();
  const EndpointNotifications notifications(enumerator.Get());
  std::uint64_t seen = 0;
  std::int64_t next_look = 0;
  std::int64_t next_retry = 0;
  while (!stop.WaitFor(kStepMs)) {
    const std::int64_t now = Now100ns();
    if (input.callback) input.callback->KeepUpWithClock(now);
    if (!enumerator || now < next_look) continue;
    next_look = now + kLookEveryTicks;
    const std::uint64_t count = notifications.count();
    const bool retry = FAILED(MicrophoneLost(input)) && now >= next_retry;
    if (count == seen && !retry) continue;
    seen = count;
    next_retry = now + kRetryTicks;
    Follow(enumerator.Get(), input, failure);
  }
}

}  // namespace morl::recorder
