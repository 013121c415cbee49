#include "CrashHarness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>

#include "support/TemporaryDirectory.h"

namespace trevalo::crash {
namespace {

// Fifty kills at random instants of the scripted day; the instants change from run to run (the
// seed is printed, and a failure names it).
TEST(CrashHarnessTest, FilesLoadAndNoWorkIsLostOrLoggedTwiceAcrossFiftyKills) {
  testing::TemporaryDirectory directory;
  const auto seed =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  CrashHarness harness(
      {.child = TREVALO_CRASH_CHILD, .directory = directory.path(), .kills = 50, .seed = seed});
  const auto report = harness.run();
  std::cout << report.summary() << "\n";
  for (const auto& failure : report.failures)
    ADD_FAILURE() << failure;
  EXPECT_EQ(report.kills, 50);
  EXPECT_GT(report.filesLoaded, 0) << "no kill found a file to load";
  EXPECT_GT(report.descriptorsChecked, 0) << "no kill found work waiting";
  EXPECT_GT(report.visitsLogged, 0);
}

}  // namespace
}  // namespace trevalo::crash
