#include "trevalo/vell/TRVellLocation.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <vector>

#include "support/PlatformTest.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/vell/ExtraLocationInfoCollector.h"

namespace trevalo {
namespace {

using History = std::deque<std::shared_ptr<TRVellLocation>>;

// One millidegree is about 111 m at the equator.
constexpr double kStep = 0.001;

std::shared_ptr<TRVellLocation> sampleAt(Coordinate coordinate) {
  return std::make_shared<TRVellLocation>(Location(coordinate, 0, 5, -1, -1, -1, Date(1.0e9)));
}

// Appends a sample the way the analyzer does and lets it compute against the history.
std::shared_ptr<TRVellLocation> append(History& history, Coordinate coordinate) {
  auto sample = sampleAt(coordinate);
  history.push_back(sample);
  sample->calculateBearingAndDistance(history);
  return sample;
}

TEST(TRVellLocationBearingTest, FirstSampleHasNoDistanceBearingOrSpread) {
  History history;
  auto first = sampleAt({48.85, 2.35});
  first->bearing = 12;
  first->distance = 3;
  first->realBearing = 33;  // whatever it held before stays
  first->futureStdBearing = 7;
  first->calculateBearingAndDistance(history);
  EXPECT_EQ(first->bearing, 0) << "an empty history";
  EXPECT_EQ(first->distance, 0);

  history.push_back(first);
  first->calculateBearingAndDistance(history);
  EXPECT_EQ(first->distance, 0);
  EXPECT_EQ(first->bearing, 0);
  EXPECT_EQ(first->realBearing, 33);
  EXPECT_EQ(first->stdBearing, 0);
  EXPECT_EQ(first->realStdBearing, 0);
  EXPECT_EQ(first->futureStdBearing, 0);

  const History withNull{sampleAt({0, 0}), nullptr, first};
  EXPECT_THROW(first->calculateBearingAndDistance(withNull), Exception);
}

// Near 0/360, 90 and 270 the bearing folds onto the side of the previous one (the previous fix
// is at (0, 0)); a fix that has not moved keeps the previous bearing.
TEST(TRVellLocationBearingTest, FoldsOntoTheLineOfTravelOnThePreviousSide) {
  const struct {
    const char* name;
    double previousBearing;
    Coordinate here;
    double realBearing, bearing;
  } cases[] = {
      {"NorthAfterNeither", 90, {kStep, 0}, 180, 180},
      {"NorthAfterNear360", 359, {kStep, 0}, 180, 360},
      {"NorthAfterNear0", 1, {kStep, 0}, 180, 0},
      {"NorthAfterExactly2Degrees", 2, {kStep, 0}, 180, 180},
      {"SouthAfterNear180", 179, {-kStep, 0}, 0, 180},
      {"EastAfterNear90", 89, {0, kStep}, -90, 90},
      {"WestAfterNear90", 90, {0, -kStep}, 90, 90},
      {"EastAfterNear270", 271, {0, kStep}, -90, 270},
      {"WestAfterNear270", 269, {0, -kStep}, 90, 270},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    History history{sampleAt({0, 0})};
    history.back()->bearing = c.previousBearing;
    const auto sample = append(history, c.here);
    EXPECT_NEAR(sample->realBearing, c.realBearing, 1e-9);
    EXPECT_NEAR(sample->bearing, c.bearing, 1e-9);
    EXPECT_NEAR(sample->distance, 111.3195, 1e-4);
  }

  History history{sampleAt({0, 0})};
  history.back()->bearing = 42;
  const auto still = append(history, {0.0005 / 111319.49, 0});  // 0.0005 m north
  EXPECT_NEAR(still->distance, 0.0005, 1e-6);
  EXPECT_EQ(still->bearing, 42);
  EXPECT_EQ(still->realBearing, 42);
}

TEST(TRVellLocationSpreadTest, PopulationStandardDeviation) {
  EXPECT_NEAR(TRVellLocation::std(std::vector<double>{10, 20, 30}), 8.16496580927726, 1e-12);
  EXPECT_EQ(TRVellLocation::std(std::vector<double>{10}), 0);
  EXPECT_EQ(TRVellLocation::std(std::vector<double>{}), 0);
  EXPECT_EQ(TRVellLocation::std(std::vector<double>{2, 4}), 1);
}

// A walk east then north gives bearings 0 (first), 90, 180 and 180: the spreads of the windows
// tell which sample received them.
TEST(TRVellLocationSpreadTest, FutureSpreadGoesToTheCentreOfTheWindow) {
  History history;
  std::vector<std::shared_ptr<TRVellLocation>> samples;
  for (const Coordinate coordinate : {Coordinate{0, 0}, Coordinate{0, kStep},
                                      Coordinate{kStep, kStep}, Coordinate{2 * kStep, kStep}}) {
    samples.push_back(sampleAt(coordinate));
    samples.back()->futureStdBearing = samples.back()->futureRealStdBearing = -1;
  }
  const auto step = [&](std::size_t i) {
    history.push_back(samples[i]);
    samples[i]->calculateBearingAndDistance(history);
  };

  step(0);
  EXPECT_EQ(samples[0]->futureStdBearing, 0);

  step(1);  // two samples: the newest receives the spread of both
  EXPECT_NEAR(samples[1]->bearing, 90, 1e-9);
  EXPECT_NEAR(samples[1]->stdBearing, 45, 1e-9);
  EXPECT_NEAR(samples[1]->futureStdBearing, 45, 1e-9);
  EXPECT_EQ(samples[0]->futureStdBearing, 0);

  step(2);  // three: the middle one
  EXPECT_NEAR(samples[2]->bearing, 180, 1e-9);
  const double spread = TRVellLocation::std(std::vector<double>{0, 90, 180});
  EXPECT_NEAR(samples[2]->stdBearing, spread, 1e-9);
  EXPECT_NEAR(samples[1]->futureStdBearing, spread, 1e-9);
  EXPECT_EQ(samples[2]->futureStdBearing, -1);

  step(3);  // the window slides: again the middle one
  const double slid = TRVellLocation::std(std::vector<double>{90, 180, 180});
  EXPECT_NEAR(samples[2]->futureStdBearing, slid, 1e-9);
  EXPECT_NEAR(samples[1]->futureStdBearing, spread, 1e-9);
  EXPECT_EQ(samples[3]->futureStdBearing, -1);
  // realBearing of the first sample was never set: 0, -90, 180, 180.
  EXPECT_NEAR(samples[2]->futureRealStdBearing,
              TRVellLocation::std(std::vector<double>{-90, 180, 180}), 1e-9);
}

class TRVellLocationAccelerationTest : public testing::PlatformTest {};

// The sensor lists themselves are checked through the dictionary forms.
TEST_F(TRVellLocationAccelerationTest, TakesTheCollectorsSamplesAndTheirMean) {
  ExtraLocationInfoCollector collector;
  collector.addAccelerometerDataIfNeeded(platform::AccelerometerData{{1, 0, -1}, 10});
  collector.addAccelerometerDataIfNeeded(platform::AccelerometerData{{2, 0, -1}, 10.05});
  collector.addAccelerometerDataIfNeeded(platform::AccelerometerData{{3, 3, -1}, 10.1});

  const TRVellLocation sample(Location({48.85, 2.35}), collector, "Office");

  EXPECT_EQ(sample.accelArray, collector.getAccelArrayCopy());
  EXPECT_EQ(sample.timestamp(), now());
  ASSERT_TRUE(sample.avarageAcceleration);
  EXPECT_NEAR(sample.avarageAcceleration->x, 2, 1e-12);
  EXPECT_NEAR(sample.avarageAcceleration->y, 1, 1e-12);
  EXPECT_NEAR(sample.avarageAcceleration->z, -1, 1e-12);
  EXPECT_FALSE(sample.rollingAvarageAcceleration);

  collector.clearInfo();
  const TRVellLocation bare(Location({48.85, 2.35}), collector, std::nullopt);
  EXPECT_EQ(bare.avarageAcceleration, TRVector(0, 0, 0));
}

TEST(TRVellLocationRollingTest, AveragesOnlyMeaningfulMeansOfTheLastEntries) {
  const auto withMean = [](std::optional<TRVector> mean) {
    auto sample = sampleAt({0, 0});
    sample->avarageAcceleration = mean;
    return sample;
  };
  History history{withMean(TRVector(9, 9, 9)),  // beyond the window
                  withMean(TRVector(0, 0, 0)),  withMean(std::nullopt),
                  withMean(TRVector(1, 2, 3)),  nullptr,
                  withMean(TRVector(3, 4, -5)), withMean(TRVector(0, 0.00005, 0))};
  auto& newest = history.back();
  newest->calculateRollingAverageAcceleration(history, 6);
  EXPECT_EQ(newest->rollingAvarageAcceleration, TRVector(2, 3, -1));

  newest->calculateRollingAverageAcceleration(history, 1);
  EXPECT_EQ(newest->rollingAvarageAcceleration, TRVector(0, 0, 0));

  EXPECT_EQ(TRVellLocation::getAvarageAccelerationFor(History{}, 10), TRVector(0, 0, 0));
}

}  // namespace
}  // namespace trevalo
