#include "tests/support/machine_test.h"

#include <winsim.h>

namespace machine_test {

void MachineTest::SetUp() {
  winsim::ResetMachine();
  if (machine_json_.empty()) return;
  std::string error;
  ASSERT_TRUE(winsim::LoadMachineJson(machine_json_, &error)) << error;
}

void LeftAliveCheck::OnTestStart(const ::testing::TestInfo&) { at_start_ = winsim::LiveObjects(); }

void LeftAliveCheck::OnTestEnd(const ::testing::TestInfo&) {
  // What the machine itself holds for the test (a timeline's run, begun
  // timer periods, its audio devices) goes with the reset; what the test or
  // the code under test handed out and never gave back stays counted. The
  // reset also keeps a test's machine from reaching the next test, whatever
  // fixture that one uses.
  winsim::ResetMachine();
  const std::map<std::string, int> at_end = winsim::LiveObjects();
  if (at_end == at_start_) return;
  ADD_FAILURE() << "The test changed what is alive on the simulated machine.\n"
                << "  at its start: " << winsim::DescribeObjects(at_start_) << "\n"
                << "  at its end:   " << winsim::DescribeObjects(at_end) << "\n"
                << "  (all now: " << winsim::DescribeLiveObjects() << ")";
}

}  // namespace machine_test
