// What DXGI sees of the machine: its adapters and their outputs, read at
// once when a factory is made.
//
// Adapter 0 is the machine's GPU ("gpu" key; its "name" is the description)
// and holds one output per display, the primary first and then the others
// in the machine's display order ("IDXGIAdapter::EnumOutputs": the output of
// the desktop primary has index 0). After it comes "Microsoft Basic Render
// Driver", the software adapter that Windows 8 and later always list
// (DXGI_ADAPTER_FLAG_SOFTWARE, vendor 0x1414, device 0x8C), without outputs.
// Without a hardware GPU ("gpu": null) Windows drives the displays with its
// display-only basic display driver and renders with the basic render
// driver, which DXGI then lists alone, holding the displays' outputs.
#pragma once

#include <dxgi.h>

#include <cstdint>
#include <vector>

namespace winsim::dxgi {

struct AdapterView {
  DXGI_ADAPTER_DESC1 desc{};
  std::vector<DXGI_OUTPUT_DESC> outputs;
};

struct MachineView {
  std::vector<AdapterView> adapters;
  std::uint64_t display_changes = 0;  // winsim::MonitorState::changes when read
};

MachineView ReadMachine();

// Whether the displays changed since `view` was read.
bool DisplaysChangedSince(const MachineView& view);

}  // namespace winsim::dxgi
