// The places where Wine, the independent Windows the contract cases also run
// on, is known to differ from what Microsoft documents for Windows. Each row
// names a case; under Wine that case is skipped with its reason printed, and
// everywhere else it runs.
#pragma once

#include <gtest/gtest.h>

#include <string>

// True when the process runs under Wine (ntdll exports wine_get_version).
bool RunningUnderWine();

// Wine's major version from ntdll's wine_get_version ("10.0" -> 10); 0 when
// the process does not run under Wine.
int WineMajorVersion();

// The table's reason for `test_case` ("Suite.Name", parameter suffixes
// included), or empty when the case is not listed.
std::string KnownWineDifference(const std::string& test_case);

// At the top of a case: under Wine, when the running case (suite.name) is in
// the table, prints "known Wine difference: <case>: Windows <...>; Wine <...>"
// and skips it.
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
