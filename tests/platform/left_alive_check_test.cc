#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <winsim.h>

#include "tests/support/machine_test.h"

namespace {

using LeftAliveCheckTest = machine_test::MachineTest;

// The check after every test names what a test left alive (and what it
// released twice), and says nothing of what was alive before the test.
TEST_F(LeftAliveCheckTest, NamesWhatTheTestLeftOrReleasedTwice) {
  const ::testing::TestInfo& test = *::testing::UnitTest::GetInstance()->current_test_info();
  machine_test::LeftAliveCheck check;
  winsim::AddLive(winsim::Kind::kOther, "before");
  check.OnTestStart(test);
  check.OnTestEnd(test);  // unchanged: passes
  winsim::AddLive(winsim::Kind::kGdi, "HBITMAP");
  EXPECT_NONFATAL_FAILURE(check.OnTestEnd(test), "at its end:   gdi:HBITMAP x1, other:before x1");
  winsim::RemoveLive(winsim::Kind::kGdi, "HBITMAP");
  winsim::RemoveLive(winsim::Kind::kGdi, "HBITMAP");
  EXPECT_NONFATAL_FAILURE(check.OnTestEnd(test), "gdi:HBITMAP x-1");
  winsim::AddLive(winsim::Kind::kGdi, "HBITMAP");
  winsim::RemoveLive(winsim::Kind::kOther, "before");
}

}  // namespace
