// The machine file's "costs" key: each member sets its cost and leaves the
// others as they were; bad values are refused, naming the member, and
// change nothing.
#include <gtest/gtest.h>
#include <winsim.h>
#include <winsim_costs.h>

#include <string>

#include "tests/support/machine_test.h"

namespace {

class MachineCostsTest : public machine_test::MachineTest {};

TEST_F(MachineCostsTest, CostsKeySetsNamedCostsAndRefusesBadValues) {
  // Applied in turn to one machine; a refused file must change nothing.
  const struct {
    const char* json;
    const char* refusal;  // what the error names; null: accepted
    double bitblt, duplication, software, hardware;
  } steps[] = {
      {R"({})", nullptr, 0, 0, 0, 0},
      {R"({"costs": {"duplication_ms_per_mpixel": 2.5}})", nullptr, 0, 2.5, 0, 0},
      {R"({"costs": {"bitblt_ms_per_mpixel": 4, "software_encode_ms_per_mpixel": 9,
                     "hardware_encode_ms_per_mpixel": 0.5}})",
       nullptr, 4, 2.5, 9, 0.5},
      {R"({"costs": 3})", "object", 4, 2.5, 9, 0.5},
      {R"({"costs": {"blit_ms_per_mpixel": 1}})", "blit_ms_per_mpixel", 4, 2.5, 9, 0.5},
      {R"({"costs": {"bitblt_ms_per_mpixel": -1}})", "bitblt_ms_per_mpixel", 4, 2.5, 9, 0.5},
      {R"({"costs": {"duplication_ms_per_mpixel": 60001}})", "duplication_ms_per_mpixel", 4, 2.5, 9,
       0.5},
      {R"({"costs": {"hardware_encode_ms_per_mpixel": "2"}})", "hardware_encode_ms_per_mpixel", 4,
       2.5, 9, 0.5},
      {R"({"costs": {"duplication_ms_per_mpixel": 60000}})", nullptr, 4, 60000, 9, 0.5},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.json);
    std::string error;
    EXPECT_EQ(winsim::LoadMachineJson(step.json, &error), step.refusal == nullptr) << error;
    if (step.refusal != nullptr) {
      EXPECT_NE(error.find("\"costs\""), std::string::npos) << error;
      EXPECT_NE(error.find(step.refusal), std::string::npos) << error;
    }
    const winsim::Costs costs = winsim::MachineCosts();
    EXPECT_EQ(costs.bitblt_ms_per_mpixel, step.bitblt);
    EXPECT_EQ(costs.duplication_ms_per_mpixel, step.duplication);
    EXPECT_EQ(costs.software_encode_ms_per_mpixel, step.software);
    EXPECT_EQ(costs.hardware_encode_ms_per_mpixel, step.hardware);
  }
  winsim::ResetMachine();
  EXPECT_EQ(winsim::MachineCosts().duplication_ms_per_mpixel, 0);
}

}  // namespace
