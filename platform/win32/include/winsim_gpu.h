// Control API of the machine's graphics hardware, for tests: the GPU that
// DXGI lists first and whose outputs are the displays, and the hardware
// video encoders it offers.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace winsim {

struct Gpu {
  std::wstring name = L"Simulated GPU";  // DXGI_ADAPTER_DESC1::Description
  std::vector<std::string> encoders{"h264"};
  int max_width = 4096;  // the largest frame its encoders take
  int max_height = 2304;
  // Whether its driver offers Direct3D 11 video processing (ID3D11VideoDevice
  // and ID3D11VideoContext).
  bool video_processor = true;
};

// std::nullopt: a machine without a hardware GPU, where DXGI lists Windows'
// basic display adapter and basic render driver only.
void SetGpu(const std::optional<Gpu>& gpu);
std::optional<Gpu> MachineGpu();

}  // namespace winsim
