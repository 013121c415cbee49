// Stays resolved by the platform geocoder: which visit they continue, and where the next stay
// is sent. (That the same placemark names the same place wherever it was asked for is
// PlacemarkPlaceTest's; what the tracker then decides, VisitTrackerDecisionTest's.)
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/ModelTestSupport.h"
#include "visits/VisitTestSupport.h"
#include "visits/operations/MetaOperationGetVenueByLocations.h"

namespace trevalo {
namespace {

using testing::CaseName;
using testing::PrintTo;
using testing::VisitTrackerTest;

constexpr double kHour = 3600.0;

platform::Placemark placemark(std::optional<std::string> name, std::optional<std::string> country) {
  platform::Placemark made;
  made.name = std::move(name);
  made.country = std::move(country);
  return made;
}

class GeocodedVisitTest : public testing::VisitTrackerTest {
 protected:
  void geocode(std::vector<platform::Placemark> placemarks) {
    ASSERT_TRUE(platform().geocoder().respondToNext(std::move(placemarks)));
    runUntilIdle();
  }
  // A stay the service knows nothing about, handed on to the geocoder.
  void stayUnknownToTheServiceAt(double latitude, double longitude) {
    resolveStayAt(latitude, longitude);
    answer(200, Json::object());
  }
  // "start <identity>" and "end <identity>" for what the delegate was told, in order.
  std::vector<std::string> told() const {
    std::vector<std::string> events;
    for (const auto& event : delegate_->events)
      events.push_back(event.kind + " " + event.visit->geocodeResult()->venue->name.value_or(""));
    return events;
  }
  std::size_t logCount() const {
    std::size_t count = 0;
    for (const auto& path : paths())
      count += path == testing::kLogPath;
    return count;
  }
};

TEST_F(GeocodedVisitTest, UnknownPlacesContinueAVisitOnlyWhenTheirStaysAreClose) {
  stayUnknownToTheServiceAt(45.5, -73.6);
  geocode({});
  advanceBy(kHour);
  // About 30 m north.
  stayUnknownToTheServiceAt(45.50027, -73.6);
  geocode({placemark(std::nullopt, std::nullopt)});
  EXPECT_EQ(told(), std::vector<std::string>{"start Unknown Venue"});

  // Ten kilometres away, an hour later: another stay.
  advanceBy(kHour);
  stayUnknownToTheServiceAt(45.59, -73.6);
  geocode({});
  EXPECT_EQ(told(), (std::vector<std::string>{"start Unknown Venue", "end Unknown Venue",
                                              "start Unknown Venue"}));
  // The service is told where the first one was, not (0, 0).
  ASSERT_EQ(logCount(), 1u);
  const Json logged = body(transport().sentCount() - 1);
  EXPECT_EQ(logged.at("lat"), 45.5);
  EXPECT_EQ(logged.at("lng"), -73.6);
  EXPECT_EQ(logged.at("venue_id"), VisitTracker::kUnknownVenueId);
  EXPECT_FALSE(logged.contains("address_id"));
  answer(200);
  // Kept across a relaunch: the position is part of the saved visit.
  restartTracker();
  stayUnknownToTheServiceAt(45.5901, -73.6);
  geocode({});
  EXPECT_EQ(told().size(), 3u);
}

// Only a country the geocoder names moves later stays between the service and the geocoder.
struct RouteCase {
  const char* name;
  bool startOutsideOfUS;
  std::optional<std::string> country;
  bool nextByGeocoder;
};

class GeocoderRouteTest : public GeocodedVisitTest,
                          public ::testing::WithParamInterface<RouteCase> {};

TEST_P(GeocoderRouteTest, OnlyANamedCountryChoosesTheRoute) {
  const auto& c = GetParam();
  if (c.startOutsideOfUS) {
    stayUnknownToTheServiceAt(45.5, -73.6);
    geocode({placemark("Maple Diner", "Canada")});
    ASSERT_TRUE(tracker_->outsideOfUS());
    advanceBy(kHour);
    resolveStayAt(45.6, -73.7);
  } else {
    stayUnknownToTheServiceAt(45.6, -73.7);
  }
  geocode({placemark("Corner Shop", c.country)});
  EXPECT_EQ(tracker_->outsideOfUS(), c.nextByGeocoder);

  advanceBy(kHour);
  const auto next = resolveStayAt(45.7, -73.8);
  EXPECT_EQ(std::dynamic_pointer_cast<MetaOperationGetAppleVenue>(next) != nullptr,
            c.nextByGeocoder);
}

INSTANTIATE_TEST_SUITE_P(
    Countries, GeocoderRouteTest,
    ::testing::Values(RouteCase{"NoneKeepsTheService", false, {}, false},
                      RouteCase{"EmptyKeepsTheGeocoder", true, "", true},
                      RouteCase{"NoneKeepsTheGeocoder", true, {}, true},
                      RouteCase{"CanadaTurnsToTheGeocoder", false, "Canada", true},
                      RouteCase{"UsaTurnsBackToTheService", true, "usa", false}),
    CaseName());

}  // namespace
}  // namespace trevalo
