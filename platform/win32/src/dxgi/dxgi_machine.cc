#include "dxgi/dxgi_machine.h"

#include <algorithm>
#include <optional>
#include <string>

#include "winsim_gpu.h"
#include "winsim_windows.h"

namespace winsim::dxgi {
namespace {

constexpr UINT kMicrosoftVendor = 0x1414;
constexpr UINT kBasicRenderDevice = 0x8C;
constexpr std::size_t kMib = std::size_t{1} << 20;

template <std::size_t N>
void CopyName(const std::wstring& name, WCHAR (&out)[N]) {
  const std::size_t length = std::min(name.size(), N - 1);
  std::copy_n(name.begin(), length, out);
  out[length] = L'\0';
}

DXGI_ADAPTER_DESC1 AdapterDesc(const std::wstring& name, UINT vendor, UINT device, DWORD luid,
                               UINT flags) {
  DXGI_ADAPTER_DESC1 desc{};
  CopyName(name, desc.Description);
  desc.VendorId = vendor;
  desc.DeviceId = device;
  desc.AdapterLuid = LUID{luid, 0};
  desc.Flags = flags;
  return desc;
}

DXGI_OUTPUT_DESC OutputDesc(const Monitor& monitor, HMONITOR handle) {
  DXGI_OUTPUT_DESC desc{};
  CopyName(monitor.name, desc.DeviceName);
  desc.DesktopCoordinates = monitor.rect;
  desc.AttachedToDesktop = TRUE;
  desc.Rotation = DXGI_MODE_ROTATION_IDENTITY;
  desc.Monitor = handle;
  return desc;
}

// One output per display, the primary's first.
std::vector<DXGI_OUTPUT_DESC> Outputs(const MonitorState& state) {
  std::vector<DXGI_OUTPUT_DESC> outputs;
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t i = 0; i < state.monitors.size(); ++i) {
      if (state.monitors[i].primary == (pass == 0)) {
        outputs.push_back(OutputDesc(state.monitors[i], state.handles[i]));
      }
    }
  }
  return outputs;
}

}  // namespace

MachineView ReadMachine() {
  const MonitorState monitors = CurrentMonitorState();
  const std::optional<Gpu> gpu = MachineGpu();
  MachineView view;
  view.display_changes = monitors.changes;
  AdapterView render;
  render.desc = AdapterDesc(L"Microsoft Basic Render Driver", kMicrosoftVendor, kBasicRenderDevice,
                            0x1002, DXGI_ADAPTER_FLAG_SOFTWARE);
  if (gpu.has_value()) {
    AdapterView hardware;
    hardware.desc = AdapterDesc(gpu->name, 0, 0, 0x1001, DXGI_ADAPTER_FLAG_NONE);
    hardware.desc.DedicatedVideoMemory = 4096 * kMib;
    hardware.outputs = Outputs(monitors);
    view.adapters.push_back(hardware);
  } else {
    render.outputs = Outputs(monitors);
  }
  view.adapters.push_back(render);
  return view;
}

bool DisplaysChangedSince(const MachineView& view) {
  return CurrentMonitorState().changes != view.display_changes;
}

}  // namespace winsim::dxgi
