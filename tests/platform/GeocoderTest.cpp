#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "support/PlatformTest.h"
#include "support/TemporaryDirectory.h"
#include "trevalo/platform/linux/SystemPlatform.h"
#include "trevalo/platform/simulated/SimulatedGeocoder.h"

namespace trevalo::platform {
namespace {

Location at(double latitude, double longitude) {
  return Location(Coordinate{latitude, longitude});
}

Placemark named(std::string name) {
  Placemark placemark;
  placemark.name = std::move(name);
  return placemark;
}

class SimulatedGeocoderTest : public testing::PlatformTest {};

TEST_F(SimulatedGeocoderTest, ScriptedThenRespondedOrFailedAnswersGoOutInOrderOnTheRunLoop) {
  // Each answer as the first placemark's name, "none" or the error code.
  std::vector<std::string> answers;
  const auto record = [&](std::optional<std::vector<Placemark>> placemarks,
                          std::optional<Error> error) {
    EXPECT_NE(placemarks.has_value(), error.has_value());
    EXPECT_TRUE(runLoop().isCurrent());
    answers.push_back(error                 ? "error " + std::to_string(error->code())
                      : placemarks->empty() ? "none"
                                            : placemarks->front().name.value_or("?"));
  };
  auto& geocoder = platform().geocoder();
  geocoder.enqueueAnswer(std::vector{named("Cafe")});
  geocoder.enqueueAnswer(Error(Geocoder::kErrorDomain, Geocoder::kErrorNetwork));
  geocoder.setResponder([](const Location& location) -> std::optional<SimulatedGeocoder::Answer> {
    if (location.coordinate().latitude == 10) return std::vector<Placemark>{};
    return std::nullopt;
  });
  const auto handed = platform().makeGeocoder();
  for (const double latitude : {1, 3, 10, 20, 30})
    handed->reverseGeocodeLocation(at(latitude, 0), record);
  // Never from inside the call: callers may hold locks while they ask.
  EXPECT_TRUE(answers.empty());
  EXPECT_EQ(geocoder.pendingCount(), 2u);
  EXPECT_TRUE(geocoder.respondToNext(std::vector{named("Later")}));
  EXPECT_EQ(geocoder.failPending(), 1u);
  runUntilIdle();
  EXPECT_EQ(answers, (std::vector<std::string>{"Cafe", "error 3", "none", "Later", "error 2"}));
  EXPECT_EQ(geocoder.requests()[1].coordinate().latitude, 3);
}

// Linux has no reverse geocoder: the system platform's answers every request, at once, with
// an error saying so.
TEST(SystemPlatformGeocoderTest, AnswersEveryRequestWithTheUnavailableError) {
  const testing::TemporaryDirectory directory;
  const auto system = SystemPlatform::make({.documentsDirectory = directory.path()});
  std::promise<std::pair<std::optional<Error>, bool>> answered;
  system->makeGeocoder()->reverseGeocodeLocation(
      at(48.85, 2.35),
      [&](std::optional<std::vector<Placemark>> placemarks, std::optional<Error> error) {
        EXPECT_FALSE(placemarks);
        answered.set_value({error, system->runLoop().isCurrent()});
      });
  auto future = answered.get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  const auto [error, onRunLoop] = future.get();
  EXPECT_EQ(error, Geocoder::unavailableError());
  EXPECT_TRUE(onRunLoop);
}

}  // namespace
}  // namespace trevalo::platform
