#include "trevalo/vell/ExtraLocationInfoCollector.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <ostream>
#include <thread>
#include <vector>

namespace trevalo {
namespace {

using platform::AccelerometerData;
using platform::AltitudeData;
using platform::GyroData;
using platform::Heading;

AccelerometerData accel(double timestamp) {
  return {{0.01, -0.98, 0.05}, timestamp};
}

Heading heading(double secondsSince1970) {
  return {.magneticHeading = 87.5,
          .trueHeading = 90.25,
          .headingAccuracy = 15,
          .x = -12.5,
          .y = 30.25,
          .z = -40,
          .timestamp = Date(secondsSince1970)};
}

TEST(ExtraLocationInfoCollectorTest, KeepsTheLatest5000SamplesOfEachKind) {
  ExtraLocationInfoCollector collector;
  const auto limit = static_cast<int>(ExtraLocationInfoCollector::kSampleLimit);
  for (int i = 0; i <= limit; ++i) {
    collector.addAccelerometerDataIfNeeded(accel(i));
    collector.addGyroDataIfNeeded(GyroData{{0.1, 0.2, 0.3}, static_cast<double>(i)});
    collector.addAltitude(AltitudeData{0.5, static_cast<double>(i)});
    collector.addNewHeading(heading(i));
  }

  const auto accelerations = collector.getAccelArrayCopy();
  ASSERT_EQ(accelerations.size(), 5000u);
  EXPECT_EQ(accelerations.front().timestamp, 1.0);
  EXPECT_EQ(accelerations.back().timestamp, 5000.0);
  EXPECT_EQ(collector.getGyroArray().front().timestamp, 1.0);
  EXPECT_EQ(collector.getAltitudeArray().front().timestamp, 1.0);
  EXPECT_EQ(collector.getHeadingArray().front().timestamp, Date(1.0));
  EXPECT_EQ(collector.getHeadingArray().size(), 5000u);

  collector.clearInfo();
  EXPECT_TRUE(collector.getAccelArrayCopy().empty());
  EXPECT_TRUE(collector.getGyroArray().empty());
  EXPECT_TRUE(collector.getAltitudeArray().empty());
  EXPECT_TRUE(collector.getHeadingArray().empty());
}

TEST(ExtraLocationInfoCollectorTest, NoSampleAddsNothing) {
  ExtraLocationInfoCollector collector;
  collector.addAccelerometerDataIfNeeded(std::nullopt);
  collector.addGyroDataIfNeeded(std::nullopt);
  collector.addAltitude(std::nullopt);
  collector.addNewHeading(std::nullopt);
  EXPECT_EQ(collector.dictionaryRepresentation(),
            Json::parse(R"({"headings": [], "accelerometerData": [], "gyroData": [],
                            "altitudeArray": []})"));
}

TEST(ExtraLocationInfoCollectorTest, DictionaryRepresentationUsesSampleTimes) {
  ExtraLocationInfoCollector collector;
  collector.addAccelerometerDataIfNeeded(AccelerometerData{{0.25, -1, 0.5}, 1234.5});
  collector.addGyroDataIfNeeded(GyroData{{0.1, -0.2, 0.3}, 1234.55});
  collector.addAltitude(AltitudeData{-1.5, 1234.6});
  collector.addNewHeading(heading(1.5));

  const Json expected = Json::parse(R"({
    "headings": [{"magneticHeading": 87.5, "trueHeading": 90.25, "headingAccuracy": 15.0,
                  "headingX": -12.5, "headingY": 30.25, "headingZ": -40.0, "timeStamp": 1500}],
    "accelerometerData": [{"accelerationX": 0.25, "accelerationY": -1.0, "accelerationZ": 0.5,
                           "timeStamp": 1234500.0}],
    "gyroData": [{"gyroX": 0.1, "gyroY": -0.2, "gyroZ": 0.3, "timeStamp": 1234550.0}],
    "altitudeArray": [{"relativeAltitude": -1.5, "timeStamp": 1234600.0}]})");
  const Json actual = collector.dictionaryRepresentation();
  EXPECT_EQ(actual, expected) << actual.dump(2);
  // Heading times are whole milliseconds, the sensor times doubles.
  EXPECT_TRUE(actual["headings"][0]["timeStamp"].is_number_integer());
  EXPECT_TRUE(actual["gyroData"][0]["timeStamp"].is_number_float());
}

TEST(ExtraLocationInfoCollectorTest, NotANumberLeavesItsKeyOut) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const Json accelerations =
      ExtraLocationInfoCollector::accelerationArrayJson({AccelerometerData{{kNaN, 1, 2}, kNaN}});
  EXPECT_EQ(accelerations, Json::parse(R"([{"accelerationY": 1.0, "accelerationZ": 2.0}])"));

  Heading undated = heading(0);
  undated.timestamp = Date(kNaN);
  undated.trueHeading = kNaN;
  const Json map = ExtraLocationInfoCollector::headingJson(undated);
  EXPECT_FALSE(map.contains("timeStamp"));
  EXPECT_FALSE(map.contains("trueHeading"));
  EXPECT_TRUE(map.contains("magneticHeading"));
}

struct HeadingTimeCase {
  double seconds;
  std::int64_t milliseconds;
};

void PrintTo(const HeadingTimeCase& c, std::ostream* out) {
  *out << c.seconds << " s";
}

class ExtraLocationInfoCollectorHeadingTimeTest : public ::testing::TestWithParam<HeadingTimeCase> {
};

TEST_P(ExtraLocationInfoCollectorHeadingTimeTest, TruncatesTowardZeroAndSaturates) {
  const Json map = ExtraLocationInfoCollector::headingJson(heading(GetParam().seconds));
  EXPECT_EQ(map.at("timeStamp").get<std::int64_t>(), GetParam().milliseconds);
}

constexpr auto kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr auto kInt64Min = std::numeric_limits<std::int64_t>::min();

INSTANTIATE_TEST_SUITE_P(
    Times, ExtraLocationInfoCollectorHeadingTimeTest,
    ::testing::Values(HeadingTimeCase{1.5, 1500}, HeadingTimeCase{1767225600.9999, 1767225600999},
                      HeadingTimeCase{-1.5005, -1500}, HeadingTimeCase{1e300, kInt64Max},
                      HeadingTimeCase{-1e300, kInt64Min},
                      HeadingTimeCase{std::numeric_limits<double>::infinity(), kInt64Max}));

// Writers on several threads while a reader copies, builds the dictionary and clears: every
// copy must be a consistent list (never longer than the limit, each writer's samples in the
// order written), and with no clear in between no append may be lost.
TEST(ExtraLocationInfoCollectorTest, ConcurrentAppendsCopiesAndClears) {
  constexpr int kWriters = 4;
  constexpr int kPerWriter = 1200;
  ExtraLocationInfoCollector collector;
  std::atomic<bool> clearing{true};
  std::atomic<int> writersDone{0};

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

  for (int round = 0; round < 2; ++round) {
    writersDone = 0;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
      writers.emplace_back([&collector, &writersDone, w] {
        for (int i = 0; i < kPerWriter; ++i) {
          const double t = i;
          collector.addAccelerometerDataIfNeeded(AccelerometerData{{double(w), 0, 0}, t});
          collector.addGyroDataIfNeeded(GyroData{{double(w), 0, 0}, t});
          collector.addAltitude(AltitudeData{double(w), t});
          collector.addNewHeading(heading(t));
        }
        ++writersDone;
      });
    }
    std::thread reader([&] {
      while (writersDone < kWriters) {
        checkOrdered(collector.getAccelArrayCopy());
        const Json dictionary = collector.dictionaryRepresentation();
        EXPECT_LE(dictionary["headings"].size(), ExtraLocationInfoCollector::kSampleLimit);
        if (clearing) collector.clearInfo();
      }
    });
    for (auto& writer : writers)
      writer.join();
    reader.join();

    const auto accelerations = collector.getAccelArrayCopy();
    checkOrdered(accelerations);
    if (!clearing) {
      EXPECT_EQ(accelerations.size(), std::size_t{kWriters * kPerWriter});
      EXPECT_EQ(collector.getGyroArray().size(), std::size_t{kWriters * kPerWriter});
      EXPECT_EQ(collector.getAltitudeArray().size(), std::size_t{kWriters * kPerWriter});
      EXPECT_EQ(collector.getHeadingArray().size(), std::size_t{kWriters * kPerWriter});
    }
    collector.clearInfo();
    clearing = false;
  }
}

}  // namespace
}  // namespace trevalo
