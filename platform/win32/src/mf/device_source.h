// The microphone's Media Foundation device source: the settings of the
// microphone when it was opened, and whether it has been shut down. The
// source reader reads its audio.
#pragma once

#include <atomic>

#include "mfidl.h"
#include "winsim_audio.h"

namespace winsim {
namespace audio {

class MicrophoneMediaSource final : public ComObject<IMFMediaSource> {
 public:
  // `device` is the capture endpoint the source opened: its conditions and
  // beep timing shape what the source delivers.
  MicrophoneMediaSource(const MicrophoneSource& settings, const AudioEndpoint& device)
      : ComObject("IMFMediaSource"), settings_(settings), device_(device) {}

  HRESULT GetCharacteristics(DWORD* characteristics) override;
  HRESULT Stop() override;
  HRESULT Pause() override;
  HRESULT Shutdown() override;

  const MicrophoneSource& settings() const { return settings_; }
  const AudioEndpoint& device() const { return device_; }
  bool shut_down() const { return shut_down_; }

 private:
  const MicrophoneSource settings_;
  const AudioEndpoint device_;
  std::atomic<bool> shut_down_{false};
};

}  // namespace audio
}  // namespace winsim
