#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "support/PlatformTest.h"
#include "support/TemporaryDirectory.h"
#include "trevalo/platform/SimulatedGeocoder.h"
#include "trevalo/platform/SystemPlatform.h"

namespace trevalo::platform {
namespace {

// What one handler call saw: the first placemark's name or the error code, and whether it ran
// on the run loop.
struct Answered {
  std::string what;
  bool onRunLoop = false;
};

Location at(double latitude, double longitude) {
  return Location(Coordinate{latitude, longitude});
}

Placemark named(std::string name) {
  Placemark placemark;
  placemark.name = std::move(name);
  return placemark;
}

class SimulatedGeocoderTest : public testing::PlatformTest {
 protected:
  Geocoder::CompletionHandler recordInto(std::vector<Answered>& answers) {
    return [this, &answers](std::optional<std::vector<Placemark>> placemarks,
                            std::optional<Error> error) {
      EXPECT_NE(placemarks.has_value(), error.has_value());
      std::string what = error                 ? "error " + std::to_string(error->code())
                         : placemarks->empty() ? "none"
                                               : placemarks->front().name.value_or("?");
      answers.push_back({std::move(what), runLoop().isCurrent()});
    };
  }

  SimulatedGeocoder& geocoder() { return platform().geocoder(); }
};

TEST_F(SimulatedGeocoderTest, ScriptedAnswersGoOutInOrderOnTheRunLoop) {
  std::vector<Answered> answers;
  geocoder().enqueueAnswer(std::vector{named("Cafe")});
  geocoder().enqueueAnswer(Error(Geocoder::kErrorDomain, Geocoder::kErrorNetwork));
  const auto handed = platform().makeGeocoder();
  handed->reverseGeocodeLocation(at(1, 2), recordInto(answers));
  handed->reverseGeocodeLocation(at(3, 4), recordInto(answers));
  // Never from inside the call: callers may hold locks while they ask.
  EXPECT_TRUE(answers.empty());
  runUntilIdle();

  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0].what, "Cafe");
  EXPECT_EQ(answers[1].what, "error 3");
  EXPECT_TRUE(answers[0].onRunLoop && answers[1].onRunLoop);
  ASSERT_EQ(geocoder().requestCount(), 2u);
  EXPECT_EQ(geocoder().requests()[1].coordinate().latitude, 3);
  EXPECT_EQ(geocoder().pendingCount(), 0u);
}

TEST_F(SimulatedGeocoderTest, UnscriptedRequestsWaitToBeAnsweredOrFailed) {
  std::vector<Answered> answers;
  geocoder().setResponder([](const Location& location) -> std::optional<SimulatedGeocoder::Answer> {
    if (location.coordinate().latitude == 10) return std::vector<Placemark>{};
    return std::nullopt;
  });
  geocoder().reverseGeocodeLocation(at(10, 0), recordInto(answers));
  geocoder().reverseGeocodeLocation(at(20, 0), recordInto(answers));
  geocoder().reverseGeocodeLocation(at(30, 0), recordInto(answers));
  geocoder().reverseGeocodeLocation(at(40, 0), recordInto(answers));
  EXPECT_EQ(geocoder().pendingCount(), 3u);

  EXPECT_TRUE(geocoder().respondToNext(std::vector{named("Later")}));
  EXPECT_EQ(geocoder().failPending(), 2u);
  EXPECT_FALSE(geocoder().respondToNext(std::vector<Placemark>{}));
  runUntilIdle();

  std::vector<std::string> seen;
  for (const auto& answer : answers)
    seen.push_back(answer.what);
  EXPECT_EQ(seen, (std::vector<std::string>{"none", "Later", "error 2", "error 2"}));
}

TEST_F(SimulatedGeocoderTest, AGeocoderGoingAwayCancelsWhatIsPending) {
  std::vector<Answered> answers;
  {
    SimulatedGeocoder own(platform().services().runLoop);
    own.reverseGeocodeLocation(at(1, 1), recordInto(answers));
    EXPECT_THROW(own.reverseGeocodeLocation(at(1, 1), nullptr), Exception);
  }
  runUntilIdle();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].what, "error " + std::to_string(Geocoder::kErrorCancelled));
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
  ASSERT_TRUE(error);
  EXPECT_EQ(*error, Geocoder::unavailableError());
  EXPECT_FALSE(error->localizedDescription().empty());
  EXPECT_TRUE(onRunLoop);
}

}  // namespace
}  // namespace trevalo::platform
