// The sink writer keys of the machine file:
//   "disk": {"free_bytes": 1000000}   room left on the recordings' volume
#include <cstdint>
#include <string>

#include "machine/machine_areas.h"
#include "winsim.h"

namespace winsim {

bool ApplyDiskKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_object() || !OnlyKnownKeys(value, {"free_bytes"}, error)) {
    if (error->empty()) *error = "must be an object such as {\"free_bytes\": 1000000}";
    return false;
  }
  std::int64_t free_bytes = -1;
  if (!ReadInt64(value, "free_bytes", &free_bytes, error)) return false;
  if (value.contains("free_bytes") && free_bytes < 0) {
    *error = "\"free_bytes\" must not be negative";
    return false;
  }
  SetDiskFreeBytes(free_bytes);
  return true;
}

}  // namespace winsim
