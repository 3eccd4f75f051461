// The machine file's "costs" key and the machine's costs.
#include <mutex>
#include <string>

#include "machine/machine_areas.h"
#include "winsim.h"
#include "winsim_costs.h"

namespace winsim {
namespace {

// A cost above this is surely a mistake: a minute per million pixels.
constexpr double kMaxCostMs = 60'000;

struct CostState {
  std::mutex mutex;
  Costs costs;
};

CostState& GetCostState() {
  static CostState* state = new CostState;  // read by threads that may outlive statics
  return *state;
}

bool ReadCost(const nlohmann::json& value, const char* key, double* out, std::string* error) {
  if (!ReadNumber(value, key, out, error)) return false;
  if (!(*out >= 0 && *out <= kMaxCostMs)) {
    *error = std::string("\"") + key + "\" must be from 0 to 60000 ms per million pixels";
    return false;
  }
  return true;
}

}  // namespace

void SetCosts(const Costs& costs) {
  CostState& state = GetCostState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.costs = costs;
}

Costs MachineCosts() {
  LoadMachineFromEnvironment();
  CostState& state = GetCostState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.costs;
}

void ResetCostsArea() { SetCosts(Costs{}); }

// "costs": {"bitblt_ms_per_mpixel": X, "duplication_ms_per_mpixel": X,
//           "software_encode_ms_per_mpixel": X, "hardware_encode_ms_per_mpixel": X}
// Absent members keep their current values.
bool ApplyCostsKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_object()) {
    *error = "must be an object";
    return false;
  }
  Costs costs;
  {
    CostState& state = GetCostState();
    std::lock_guard<std::mutex> lock(state.mutex);
    costs = state.costs;
  }
  if (!OnlyKnownKeys(value,
                     {"bitblt_ms_per_mpixel", "duplication_ms_per_mpixel",
                      "software_encode_ms_per_mpixel", "hardware_encode_ms_per_mpixel"},
                     error) ||
      !ReadCost(value, "bitblt_ms_per_mpixel", &costs.bitblt_ms_per_mpixel, error) ||
      !ReadCost(value, "duplication_ms_per_mpixel", &costs.duplication_ms_per_mpixel, error) ||
      !ReadCost(value, "software_encode_ms_per_mpixel", &costs.software_encode_ms_per_mpixel,
                error) ||
      !ReadCost(value, "hardware_encode_ms_per_mpixel", &costs.hardware_encode_ms_per_mpixel,
                error)) {
    return false;
  }
  SetCosts(costs);
  return true;
}

}  // namespace winsim
