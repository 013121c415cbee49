#include "trevalo/vell/ExtraLocationInfoCollector.h"

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
using platform::AltitudeData;
using platform::GyroData;
using platform::Heading;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Heading heading(double secondsSince1970) {
  return {.magneticHeading = 87.5,
          .trueHeading = 90.25,
          .headingAccuracy = 15,
          .x = -12.5,
          .y = 30.25,
          .z = -40,
          .timestamp = Date(secondsSince1970)};
}

// Sample `i` of each kind, stamped with time `i`; `tag` marks its writer.
void addOneOfEach(ExtraLocationInfoCollector& collector, double i, double tag = 0) {
  collector.addAccelerometerDataIfNeeded(AccelerometerData{{tag, -0.98, 0.05}, i});
  collector.addGyroDataIfNeeded(GyroData{{tag, 0.2, 0.3}, i});
  collector.addAltitude(AltitudeData{tag, i});
  collector.addNewHeading(heading(i));
}

TEST(ExtraLocationInfoCollectorTest, KeepsTheLatest5000SamplesOfEachKind) {
  ExtraLocationInfoCollector collector;
  for (int i = 0; i <= 5000; ++i)
    addOneOfEach(collector, i);

  const auto accelerations = collector.getAccelArrayCopy();
  ASSERT_EQ(accelerations.size(), 5000u);
  EXPECT_EQ(accelerations.front().timestamp, 1.0);
  EXPECT_EQ(accelerations.back().timestamp, 5000.0);
  EXPECT_EQ(collector.getGyroArray().front().timestamp, 1.0);
  EXPECT_EQ(collector.getAltitudeArray().front().timestamp, 1.0);
  EXPECT_EQ(collector.getHeadingArray().front().timestamp, Date(1.0));
  EXPECT_EQ(collector.getHeadingArray().size(), 5000u);

  collector.clearInfo();
  EXPECT_EQ(collector.dictionaryRepresentation(),
            Json::parse(R"({"headings": [], "accelerometerData": [], "gyroData": [],
                            "altitudeArray": []})"));
}

TEST(ExtraLocationInfoCollectorTest, DictionaryRepresentationUsesSampleTimes) {
  ExtraLocationInfoCollector collector;
  collector.addAccelerometerDataIfNeeded(std::nullopt);
  collector.addGyroDataIfNeeded(std::nullopt);
  collector.addAltitude(std::nullopt);
  collector.addNewHeading(std::nullopt);
  collector.addAccelerometerDataIfNeeded(AccelerometerData{{0.25, -1, 0.5}, 1234.5});
  collector.addGyroDataIfNeeded(GyroData{{0.1, -0.2, 0.3}, 1234.55});
  collector.addAltitude(AltitudeData{-1.5, 1234.6});
  collector.addNewHeading(heading(1.5));

  const Json actual = collector.dictionaryRepresentation();

  EXPECT_EQ(actual, Json::parse(R"({
    "headings": [{"magneticHeading": 87.5, "trueHeading": 90.25, "headingAccuracy": 15.0,
                  "headingX": -12.5, "headingY": 30.25, "headingZ": -40.0, "timeStamp": 1500}],
    "accelerometerData": [{"accelerationX": 0.25, "accelerationY": -1.0, "accelerationZ": 0.5,
                           "timeStamp": 1234500.0}],
    "gyroData": [{"gyroX": 0.1, "gyroY": -0.2, "gyroZ": 0.3, "timeStamp": 1234550.0}],
    "altitudeArray": [{"relativeAltitude": -1.5, "timeStamp": 1234600.0}]})"))
      << actual.dump(2);
  // Heading times are whole milliseconds, the sensor times doubles.
  EXPECT_TRUE(actual["headings"][0]["timeStamp"].is_number_integer());
  EXPECT_TRUE(actual["gyroData"][0]["timeStamp"].is_number_float());
}

TEST(ExtraLocationInfoCollectorTest, NotANumberLeavesItsKeyOut) {
  EXPECT_EQ(
      ExtraLocationInfoCollector::accelerationArrayJson({AccelerometerData{{kNaN, 1, 2}, kNaN}}),
      Json::parse(R"([{"accelerationY": 1.0, "accelerationZ": 2.0}])"));

  Heading undated = heading(kNaN);
  undated.trueHeading = kNaN;
  const Json map = ExtraLocationInfoCollector::headingJson(undated);
  EXPECT_FALSE(map.contains("timeStamp"));
  EXPECT_FALSE(map.contains("trueHeading"));
  EXPECT_TRUE(map.contains("magneticHeading"));
}

TEST(ExtraLocationInfoCollectorTest, HeadingTimesTruncateTowardZeroAndSaturate) {
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
  const std::pair<double, std::int64_t> cases[] = {
      {1.5, 1500},      {1767225600.9999, 1767225600999},
      {-1.5005, -1500}, {1e300, kMax},
      {-1e300, kMin},   {std::numeric_limits<double>::infinity(), kMax}};
  for (const auto& [seconds, milliseconds] : cases) {
    EXPECT_EQ(ExtraLocationInfoCollector::headingJson(heading(seconds)).at("timeStamp"),
              milliseconds)
        << seconds;
  }
}

// Writers on several threads while a reader copies, builds the dictionary and clears: every
// copy must be a consistent list (never longer than the limit, each writer's samples in the
// order written), and with no clear in between no append may be lost.
TEST(ExtraLocationInfoCollectorTest, ConcurrentAppendsCopiesAndClears) {
  constexpr int kWriters = 4;
  constexpr int kPerWriter = 1200;
  constexpr std::size_t kAll = kWriters * kPerWriter;
  ExtraLocationInfoCollector collector;

  const auto checkOrdered = [](const std::vector<AccelerometerData>& copy) {
    ASSERT_LE(copy.size(), ExtraLocationInfoCollector::kSampleLimit);
    std::vector<double> last(kWriters, -1);
    for (const auto& sample : copy) {
      const auto writer = static_cast<std::size_t>(sample.acceleration.x);
      ASSERT_LT(writer, last.size());
      ASSERT_GT(sample.timestamp, last[writer]);
      last[writer] = sample.timestamp;
    }
  };

  for (const bool clearing : {true, false}) {
    SCOPED_TRACE(clearing ? "clearing" : "not clearing");
    std::atomic<int> writersDone{0};
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
      writers.emplace_back([&collector, &writersDone, w] {
        for (int i = 0; i < kPerWriter; ++i)
          addOneOfEach(collector, i, w);
        ++writersDone;
      });
    }
    std::thread reader([&] {
      while (writersDone < kWriters) {
        checkOrdered(collector.getAccelArrayCopy());
        EXPECT_LE(collector.dictionaryRepresentation()["headings"].size(),
                  ExtraLocationInfoCollector::kSampleLimit);
        if (clearing) collector.clearInfo();
      }
    });
    for (auto& writer : writers)
      writer.join();
    reader.join();

    checkOrdered(collector.getAccelArrayCopy());
    if (!clearing) {
      EXPECT_EQ(collector.getAccelArrayCopy().size(), kAll);
      EXPECT_EQ(collector.getGyroArray().size(), kAll);
      EXPECT_EQ(collector.getAltitudeArray().size(), kAll);
      EXPECT_EQ(collector.getHeadingArray().size(), kAll);
    }
    collector.clearInfo();
  }
}

}  // namespace
}  // namespace trevalo
