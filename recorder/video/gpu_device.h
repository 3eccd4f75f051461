// GpuDevice: a Direct3D 11 device on the graphics adapter that drives one
// display, that display's DXGI output, and the Media Foundation device
// manager through which the sink writer's encoder shares the device. The
// device is made multithread-protected, as Media Foundation requires of a
// device it uses from its own threads.
#pragma once

#include <windows.h>

#include <d3d11.h>
#include <dxgi1_2.h>
#include <mfapi.h>
#include <mfidl.h>

#include <cstdint>
#include <memory>

#include "recorder/recorder_error.h"
#include "win32_support/com_ref.h"

namespace morl::recorder {

// A default-usage BGRA texture of `width` x `height` that can be rendered to
// (cleared) and copied, in the desktop's own format.
D3D11_TEXTURE2D_DESC BgraTextureDesc(std::int32_t width, std::int32_t height);

class GpuDevice {
 public:
  // The device for the display `monitor`; an error
  // when no adapter lists an output for it or a call fails.
  static Result<std::unique_ptr<GpuDevice>> Open(HMONITOR monitor);

  ID3D11Device* device() const { return device_.Get(); }
  ID3D11DeviceContext* context() const { return context_.Get(); }
  IDXGIOutput1* output() const { return output_.Get(); }
  IMFDXGIDeviceManager* manager() const { return manager_.Get(); }

  // Looks up the output of `monitor` again after a display change, whose
  // outputs DXGI describes only in objects enumerated after it. An error
  // when the display is no longer driven by the device's adapter.
  Status FindOutputAgain(HMONITOR monitor);

 private:
  GpuDevice() = default;
  // The output of `monitor` and its adapter; with `on` set, only on the
  // adapter with that identifier.
  Status FindOutput(HMONITOR monitor, ComRef<IDXGIAdapter1>& adapter, const LUID* on = nullptr);
  Status CreateDevice(IDXGIAdapter1* adapter);
  Status ShareWithMediaFoundation();

  ComRef<IDXGIOutput1> output_;
  LUID adapter_id_{};
  ComRef<ID3D11Device> device_;
  ComRef<ID3D11DeviceContext> context_;
  ComRef<IMFDXGIDeviceManager> manager_;
};

}  // namespace morl::recorder
