// Where Wine, the independent Windows these cases also run on, is known to
// differ from what Microsoft documents for Windows. A listed case is skipped
// under Wine with its reason printed, and runs everywhere else.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

// True when the process runs under Wine.
bool RunningUnderWine();

// The reason recorded for `test_case` ("Suite.Name"), or empty.
std::string KnownWineDifference(const std::string& test_case);

#define SKIP_IF_KNOWN_WINE_DIFFERENCE()                                                         \
  do {                                                                                          \
    if (RunningUnderWine()) {                                                                   \
      const ::testing::TestInfo* morl_info =                                                    \
          ::testing::UnitTest::GetInstance()->current_test_info();                              \
      const std::string morl_case =                                                             \
          std::string(morl_info->test_suite_name()) + "." + morl_info->name();                  \
      const std::string morl_reason = KnownWineDifference(morl_case);                           \
      if (!morl_reason.empty()) {                                                               \
        std::printf("known Wine difference: %s: %s\n", morl_case.c_str(), morl_reason.c_str()); \
        std::fflush(stdout);                                                                    \
        GTEST_SKIP();                                                                           \
      }                                                                                         \
    }                                                                                           \
  } while (false)
