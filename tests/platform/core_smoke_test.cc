#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>
TEST(Smoke, Com) { EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive"); }
