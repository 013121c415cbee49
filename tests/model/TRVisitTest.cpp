#include "trevalo/model/TRVisit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "model/ModelTestSupport.h"
#include "trevalo/model/TRPerson.h"
#include "trevalo/visits/TRCachedVisit.h"

namespace trevalo {
namespace {

using testing::archivedKeys;
using testing::archiveRoundTrip;
using ::testing::ElementsAre;
using testing::readModelJson;
using testing::snapshot;

// Times are milliseconds; the departure is the arrival plus the dwell time.
TEST(TRVisitTest, ReadsThePriorVisitsAnswer) {
  const auto visits = TRVisit::visitsWithJson(readModelJson("visits.json"));

  ASSERT_EQ(visits.size(), 3u);
  EXPECT_EQ(visits[0]->arrivalDate, Date(1767261600.0));
  EXPECT_EQ(visits[0]->departureDate, Date(1767261600.0 + 5400.0));
  const auto& place = visits[0]->place;
  ASSERT_NE(place, nullptr);
  EXPECT_EQ(place->venue->name, "Blue Door Coffee");
  EXPECT_EQ(place->address->streetName, "Broadway");
  EXPECT_EQ(place->address->lat, 40.741895);
  EXPECT_EQ(place->events, std::nullopt);
  EXPECT_EQ(place->geometry, nullptr);

  EXPECT_EQ(visits[1]->arrivalDate, Date(1767272400.5));
  EXPECT_EQ(visits[1]->departureDate, visits[1]->arrivalDate) << "no dwell time";
  EXPECT_EQ(snapshot(visits[1]->place->address), snapshot(std::make_shared<TRAddress>()));

  // Null start, text dwell time, text venue: every field at its default.
  EXPECT_EQ(visits[2]->arrivalDate, Date(0.0));
  EXPECT_EQ(visits[2]->departureDate, Date(0.0));
  EXPECT_EQ(snapshot(visits[2]->place->venue), snapshot(std::make_shared<TRVenue>()));

  for (const Json& answer : {Json::object(), Json{{"visits", Json::object()}}, Json::array()})
    EXPECT_TRUE(TRVisit::visitsWithJson(answer).empty()) << answer.dump();
}

TEST(TRVisitTest, FromACachedVisitSharesItsPlaceAndTakesItsTimes) {
  const auto place = TRPlace::initWithDictionary(readModelJson("reverse_geocode.json"));
  const auto cached = TRCachedVisit::initWithResult(place, Date(100.0), true);

  const auto open = TRVisit::initWithVisit(*cached);
  EXPECT_EQ(open->place, place);
  EXPECT_EQ(open->arrivalDate, Date(100.0));
  EXPECT_EQ(open->departureDate, std::nullopt);

  cached->setEndDate(Date(250.0));
  EXPECT_EQ(TRVisit::initWithVisit(*cached)->departureDate, Date(250.0));
}

TEST(TRVisitTest, ARoundTripKeepsDatesAndPlace) {
  auto visit = TRVisit::visitsWithJson(readModelJson("visits.json")).front();

  const auto restored = archiveRoundTrip(visit);

  EXPECT_EQ(restored->arrivalDate, visit->arrivalDate);
  EXPECT_EQ(restored->departureDate, visit->departureDate);
  EXPECT_EQ(snapshot(restored->place), snapshot(visit->place));
  EXPECT_THAT(archivedKeys(visit, "TRVisit"),
              ElementsAre("self.arrivalDate", "self.departureDate", "self.place"));

  visit->departureDate.reset();
  EXPECT_EQ(archiveRoundTrip(visit)->departureDate, std::nullopt);
}

TEST(TRPersonTest, ReadsThePeopleAnswer) {
  const auto people = TRPerson::personsWithJson(readModelJson("people.json"));
  ASSERT_EQ(people.size(), 3u);
  EXPECT_EQ(people[0]->deviceId, "2B6F0CC9-04C4-4C3A-9D58-8D4D9A2D9C11");
  EXPECT_EQ(people[1]->deviceId, std::nullopt) << "a number is not a device id";
  EXPECT_EQ(people[2]->deviceId, std::nullopt);
  EXPECT_TRUE(TRPerson::personsWithJson(Json{{"people", "everyone"}}).empty());
}

}  // namespace
}  // namespace trevalo
