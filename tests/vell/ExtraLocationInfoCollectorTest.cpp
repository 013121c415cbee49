#include "vell/ExtraLocationInfoCollector.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <thread>
#include <utility>
#include <vector>

namespace trevalo {
namespace {

using platform::AccelerometerData;
using platform::Heading;

Heading heading(double secondsSince1970) {
  return {87.5, 90.25, 15, -12.5, 30.25, -40, Date(secondsSince1970)};
}

// Sample `i` of each kind, stamped with time `i`; `tag` marks its writer.
void addOneOfEach(ExtraLocationInfoCollector& collector, double i, double tag = 0) {
  collector.addAccelerometerDataIfNeeded(AccelerometerData{{tag, -0.98, 0.05}, i});
  collector.addGyroDataIfNeeded(platform::GyroData{{tag, 0.2, 0.3}, i});
  collector.addAltitude(platform::AltitudeData{tag, i});
  collector.addNewHeading(heading(i));
}

// Heading times are whole milliseconds, the sensor times doubles; a heading time that is not a
// number is left out, and one beyond the 64-bit range saturates rather than being undefined.
TEST(ExtraLocationInfoCollectorTest, KeepsTheLatest5000AndWritesTheirJson) {
  ExtraLocationInfoCollector collector;
  for (int i = 0; i <= 5000; ++i)
    addOneOfEach(collector, i);
  EXPECT_EQ(collector.getAccelArrayCopy().front().timestamp, 1.0);
  EXPECT_EQ(collector.getHeadingArray().size(), 5000u);
  EXPECT_EQ(collector.getAltitudeArray().back().timestamp, 5000.0);
  const Json all = collector.dictionaryRepresentation();
  EXPECT_EQ(all["gyroData"][4999], Json::parse(R"({"gyroX": 0.0, "gyroY": 0.2, "gyroZ": 0.3,
                                                   "timeStamp": 5000000.0})"));
  EXPECT_EQ(all["altitudeArray"][0],
            Json::parse(R"({"relativeAltitude": 0.0, "timeStamp": 1000.0})"));

  collector.clearInfo();
  EXPECT_TRUE(collector.dictionaryRepresentation()["headings"].empty());

  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  const std::pair<double, Json> times[] = {{-1.5005, -1500},
                                           {1e300, kMax},
                                           {-1e300, std::numeric_limits<std::int64_t>::min()},
                                           {std::numeric_limits<double>::quiet_NaN(), Json()}};
  for (const auto& [seconds, milliseconds] : times) {
    const Json map = ExtraLocationInfoCollector::headingJson(heading(seconds));
    EXPECT_EQ(map.contains("timeStamp") ? map["timeStamp"] : Json(), milliseconds) << seconds;
  }
}

// Writers on several threads while a reader copies, builds the dictionary and clears: the lists
// are shared with the sensor threads, and with no clear in between no append may be lost.
TEST(ExtraLocationInfoCollectorTest, ConcurrentAppendsCopiesAndClears) {
  constexpr int kWriters = 4;
  constexpr int kPerWriter = 1200;
  ExtraLocationInfoCollector collector;

  for (const bool clearing : {true, false}) {
    std::atomic<int> writersDone{0};
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
      writers.emplace_back([&collector, &writersDone, w] {
        for (int i = 0; i < kPerWriter; ++i)
          addOneOfEach(collector, i, w);
        ++writersDone;
      });
    }
    while (writersDone < kWriters) {
      EXPECT_LE(collector.getAccelArrayCopy().size(), 5000u);
      EXPECT_LE(collector.dictionaryRepresentation()["headings"].size(), 5000u);
      if (clearing) collector.clearInfo();
    }
    for (auto& writer : writers)
      writer.join();
    if (!clearing) {
      EXPECT_EQ(collector.getAccelArrayCopy().size(), 4800u);
      EXPECT_EQ(collector.getHeadingArray().size(), 4800u);
    }
    collector.clearInfo();
  }
}

}  // namespace
}  // namespace trevalo
