// The machine's graphics hardware and the machine file's "gpu" key.
#include <windows.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "machine/machine_areas.h"
#include "winsim.h"
#include "winsim_gpu.h"

namespace winsim {
namespace {

constexpr int kMaxFrameSide = 16384;
constexpr std::size_t kMaxNameLength = 127;  // DXGI_ADAPTER_DESC1::Description holds 128

struct GpuState {
  std::mutex mutex;
  std::optional<Gpu> gpu = Gpu{};
};

GpuState& GetGpuState() {
  static GpuState* state = new GpuState;
  return *state;
}

bool ReadGpuName(const nlohmann::json& value, std::wstring* name, std::string* error) {
  std::string utf8;
  if (!ReadString(value, "name", &utf8, error)) return false;
  if (!value.contains("name")) return true;
  const int length = utf8.empty() ? 0
                                  : MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                                        static_cast<int>(utf8.size()), nullptr, 0);
  if (length < 1 || static_cast<std::size_t>(length) > kMaxNameLength ||
      utf8.find('\0') != std::string::npos) {
    *error = "\"name\" must be 1 to 127 characters of UTF-8";
    return false;
  }
  name->assign(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), name->data(), length);
  return true;
}

bool ReadEncoders(const nlohmann::json& value, std::vector<std::string>* encoders,
                  std::string* error) {
  const auto it = value.find("encoders");
  if (it == value.end()) return true;
  if (!it->is_array()) {
    *error = "\"encoders\" must be a list of codec names";
    return false;
  }
  encoders->clear();
  for (const nlohmann::json& codec : *it) {
    if (!codec.is_string() || codec.get<std::string>() != "h264") {
      *error = "\"encoders\" may only name \"h264\"";
      return false;
    }
    encoders->push_back(codec.get<std::string>());
  }
  return true;
}

}  // namespace

void SetGpu(const std::optional<Gpu>& gpu) {
  GpuState& state = GetGpuState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.gpu = gpu;
}

std::optional<Gpu> MachineGpu() {
  LoadMachineFromEnvironment();
  GpuState& state = GetGpuState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.gpu;
}

void ResetGpuArea() { SetGpu(Gpu{}); }

// "gpu": {"name": "...", "encoders": ["h264"], "max_width": N, "max_height": N,
// "video_processor": false} or null for a machine without a hardware GPU. Absent members keep the
// default GPU's values.
bool ApplyGpuKey(const nlohmann::json& value, std::string* error) {
  if (value.is_null()) {
    SetGpu(std::nullopt);
    return true;
  }
  if (!value.is_object()) {
    *error = "must be an object or null";
    return false;
  }
  Gpu gpu;
  if (!OnlyKnownKeys(value, {"name", "encoders", "max_width", "max_height", "video_processor"},
                     error) ||
      !ReadGpuName(value, &gpu.name, error) || !ReadEncoders(value, &gpu.encoders, error) ||
      !ReadInt(value, "max_width", &gpu.max_width, error) ||
      !ReadInt(value, "max_height", &gpu.max_height, error) ||
      !ReadBool(value, "video_processor", &gpu.video_processor, error)) {
    return false;
  }
  if (gpu.max_width < 2 || gpu.max_height < 2 || gpu.max_width > kMaxFrameSide ||
      gpu.max_height > kMaxFrameSide) {
    *error = "\"max_width\" and \"max_height\" must be 2 to 16384";
    return false;
  }
  SetGpu(gpu);
  return true;
}

}  // namespace winsim
