#include "trevalo/utils/TRLogger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/PlatformTest.h"
#include "utils/LogSender.h"

namespace trevalo {
namespace {

using TRLoggerTest = testing::PlatformTest;

// The only test that touches the shared instances: each is made once per process.
TEST_F(TRLoggerTest, SharedInstancesAreMadeOnceAndSwitchBatteryMonitoringOn) {
  ASSERT_FALSE(platform().device().isBatteryMonitoringEnabled());
  std::vector<std::shared_ptr<TRLogger>> loggers(8);
  std::vector<std::shared_ptr<LogSender>> senders(8);
  {
    std::vector<std::jthread> threads;
    for (std::size_t i = 0; i < loggers.size(); ++i) {
      threads.emplace_back([&, i] {
        loggers[i] = TRLogger::instance();
        senders[i] = LogSender::instance();
      });
    }
  }
  ASSERT_NE(loggers[0], nullptr);
  EXPECT_EQ(std::count(loggers.begin(), loggers.end(), loggers[0]), 8);
  EXPECT_EQ(std::count(senders.begin(), senders.end(), senders[0]), 8);
  EXPECT_TRUE(platform().device().isBatteryMonitoringEnabled());
}

TEST(TRLoggerSinkTest, SinkCanBeReplacedWhileOtherThreadsLogAndFromInsideADelivery) {
  TRLogger logger;
  std::atomic<int> delivered{0};
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&] {
        for (int i = 0; i < 2000; ++i)
          logger.send("line", "key", 0);
      });
    }
    for (int round = 0; round < 200; ++round) {
      logger.setSink([&](std::string_view, std::string_view, double) { ++delivered; });
      logger.setSink(nullptr);
    }
  }
  EXPECT_LE(delivered.load(), 4 * 2000);

  std::vector<std::string> lines;
  logger.setSink([&](std::string_view message, std::string_view key, double interval) {
    lines.push_back(std::string(message) + "|" + std::string(key) + "|" +
                    std::to_string(static_cast<int>(interval)));
    logger.setSink(nullptr);
  });
  logger.send("walking", "mode", 60.0);
  logger.send("dropped", "", 0);
  EXPECT_EQ(lines, (std::vector<std::string>{"walking|mode|60"}));
}

}  // namespace
}  // namespace trevalo
