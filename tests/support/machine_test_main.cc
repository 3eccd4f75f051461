// main() of every test binary that runs on the simulated machine: the
// ordinary googletest run, with LeftAliveCheck after each test. The
// contract cases' Windows build links googletest's own main instead, as the
// real system has no live-object accounting.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/machine_test.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleMock(&argc, argv);
  // Appended after the result printer, so it hears of a test's end first and
  // its failure is printed with the test.
  ::testing::UnitTest::GetInstance()->listeners().Append(new machine_test::LeftAliveCheck);
  return RUN_ALL_TESTS();
}
