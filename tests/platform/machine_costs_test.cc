// The machine file's "costs" key: its accepted forms and its refusals.
#include <gtest/gtest.h>
#include <winsim.h>
#include <winsim_costs.h>

#include <string>

#include "tests/support/machine_test.h"

namespace {

class MachineCostsTest : public machine_test::MachineTest {};

TEST_F(MachineCostsTest, CostsKeySetsEachCostAndKeepsTheOthers) {
  const struct {
    const char* json;
    double bitblt, duplication, software, hardware;
  } cases[] = {
      {R"({})", 0, 0, 0, 0},
      {R"({"costs": {"duplication_ms_per_mpixel": 2.5}})", 0, 2.5, 0, 0},
      {R"({"costs": {"bitblt_ms_per_mpixel": 4, "software_encode_ms_per_mpixel": 9,
                     "hardware_encode_ms_per_mpixel": 0.5}})",
       4, 0, 9, 0.5},
      {R"({"costs": {"bitblt_ms_per_mpixel": 1}, "timeline": []})", 1, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    winsim::ResetMachine();
    std::string error;
    ASSERT_TRUE(winsim::LoadMachineJson(c.json, &error)) << error;
    const winsim::Costs costs = winsim::MachineCosts();
    EXPECT_EQ(costs.bitblt_ms_per_mpixel, c.bitblt);
    EXPECT_EQ(costs.duplication_ms_per_mpixel, c.duplication);
    EXPECT_EQ(costs.software_encode_ms_per_mpixel, c.software);
    EXPECT_EQ(costs.hardware_encode_ms_per_mpixel, c.hardware);
  }
  // A second file changes only what it names.
  std::string error;
  ASSERT_TRUE(winsim::LoadMachineJson(R"({"costs": {"duplication_ms_per_mpixel": 3}})", &error));
  EXPECT_EQ(winsim::MachineCosts().bitblt_ms_per_mpixel, 1);
  EXPECT_EQ(winsim::MachineCosts().duplication_ms_per_mpixel, 3);
}

TEST_F(MachineCostsTest, CostsKeyRefusesBadValuesNamingThem) {
  const struct {
    const char* json;
    const char* mentions;
  } cases[] = {
      {R"({"costs": 3})", "object"},
      {R"({"costs": {"blit_ms_per_mpixel": 1}})", "blit_ms_per_mpixel"},
      {R"({"costs": {"bitblt_ms_per_mpixel": -1}})", "bitblt_ms_per_mpixel"},
      {R"({"costs": {"duplication_ms_per_mpixel": 60001}})", "duplication_ms_per_mpixel"},
      {R"({"costs": {"hardware_encode_ms_per_mpixel": "2"}})", "hardware_encode_ms_per_mpixel"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    std::string error;
    EXPECT_FALSE(winsim::LoadMachineJson(c.json, &error));
    EXPECT_NE(error.find("\"costs\""), std::string::npos) << error;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
  }
  EXPECT_EQ(winsim::MachineCosts().duplication_ms_per_mpixel, 0);
}

}  // namespace
