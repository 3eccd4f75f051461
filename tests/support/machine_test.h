// The one fixture of the suites that run on the simulated machine, and the
// check, after every test of those suites, that the test left nothing alive.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace machine_test {

// Starts each test on the default machine (winsim::ResetMachine), with the
// machine file `machine_json` applied on top when one is given. Suites add
// their own set-up after calling MachineTest::SetUp(). Whether the test
// left anything alive is checked by LeftAliveCheck, which every binary built
// with machine_test_main runs, whatever fixture a test uses.
class MachineTest : public ::testing::Test {
 protected:
  MachineTest() = default;
  explicit MachineTest(std::string machine_json) : machine_json_(std::move(machine_json)) {}

  void SetUp() override;

 private:
  std::string machine_json_;
};

// After every test: resets the machine, then fails a test that ends with more (or fewer) simulated
// objects alive than when it started, naming them. Compared with the test's start rather than with
// nothing, so a leak fails the test that made it and not every test after it. Nothing is exempt:
// every suite leaves the machine as it found it once the machine's own holdings are reset.
class LeftAliveCheck : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo& test) override;
  void OnTestEnd(const ::testing::TestInfo& test) override;

 private:
  std::map<std::string, int> at_start_;
};

}  // namespace machine_test
