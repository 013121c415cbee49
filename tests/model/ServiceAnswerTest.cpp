// Every recorded service answer, and every mangled variant of it, parses into whole records
// carrying the values the answer holds.

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "model/ModelTestSupport.h"
#include "trevalo/model/TRGeofence.h"
#include "trevalo/model/TRPerson.h"
#include "trevalo/model/TRPlace.h"
#include "trevalo/model/TRVisit.h"

namespace trevalo {
namespace {

using testing::readModelJson;
using testing::snapshot;

// Parses an answer with every parser, checking that each record is whole (no missing record
// where one is documented to exist) and that it survives an archive round trip unchanged.
void parseEverything(const Json& answer) {
  const auto place = TRPlace::initWithDictionary(answer);
  ASSERT_TRUE(place->venue && place->address && place->geometry && place->events &&
              place->alternatives);
  for (const auto& event : *place->events)
    ASSERT_TRUE(event && event->startTime && event->stopTime);
  EXPECT_EQ(snapshot(testing::archiveRoundTrip(place)), snapshot(place));

  for (const auto& found : TRPlace::placesWithSearchJson(answer)) {
    ASSERT_TRUE(found->venue && found->address);
    EXPECT_EQ(found->venue->addressId, found->address->addressId);
  }
  for (const auto& visit : TRVisit::visitsWithJson(answer))
    ASSERT_TRUE(visit->arrivalDate && visit->departureDate && visit->place);
  for (const auto& person : TRPerson::personsWithJson(answer))
    ASSERT_NE(person, nullptr);
  if (const auto geofences = TRGeofence::geofencesWithJson(answer)) {
    for (const auto& geofence : *geofences)
      ASSERT_NE(geofence->venue, nullptr);
  }
  TRAddress::homeAddressWithJson(answer);
  TRAddress::workAddressWithJson(answer);
}

// Every value inside `json`, replaced in turn by each of a few wrong kinds.
void forEachMangling(const Json& json, const std::function<void(const Json&)>& visit) {
  const std::vector<Json> wrongKinds = {Json(),         Json(-1),   Json("x"),  Json::array(),
                                        Json::object(), Json(true), Json(1e308)};
  std::function<void(Json&, Json&)> walk = [&](Json& root, Json& node) {
    if (!node.is_structured()) return;
    for (auto& child : node) {
      const Json original = child;
      for (const Json& wrong : wrongKinds) {
        child = wrong;
        visit(root);
      }
      child = original;
      walk(root, child);
    }
  };
  Json copy = json;
  walk(copy, copy);
}

class ServiceAnswerTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ServiceAnswerTest, AnyValueOfTheWrongKindStillGivesWholeRecords) {
  parseEverything(readModelJson(GetParam()));
  forEachMangling(readModelJson(GetParam()), [](const Json& mangled) {
    SCOPED_TRACE(mangled.dump());
    parseEverything(mangled);
  });
}

INSTANTIATE_TEST_SUITE_P(Answers, ServiceAnswerTest,
                         ::testing::Values("reverse_geocode.json", "malformed_place.json",
                                           "venue_search.json", "home_work.json", "visits.json",
                                           "people.json", "geofences.json"),
                         [](const auto& info) {
                           std::string name = info.param;
                           return name.substr(0, name.find('.'));
                         });

// Times are milliseconds; a visit departs at its arrival plus the dwell time. In search results
// the embedded address, not the stale "address_id", names a venue's address.
TEST(ServiceAnswerReadingTest, EachAnswerCarriesItsValuesIntoTheRecords) {
  const auto visits = TRVisit::visitsWithJson(readModelJson("visits.json"));
  ASSERT_EQ(visits.size(), 3u);
  EXPECT_EQ(visits[0]->arrivalDate, Date(1767261600.0));
  EXPECT_EQ(visits[0]->departureDate, Date(1767261600.0 + 5400.0));
  EXPECT_EQ(visits[1]->departureDate, Date(1767272400.5)) << "no dwell time";

  const auto geofences = TRGeofence::geofencesWithJson(readModelJson("geofences.json"));
  ASSERT_EQ(geofences->size(), 3u);
  EXPECT_EQ(geofences->at(0)->description(),
            "TRGeofence: venue:Blue Door Coffee; center: 40.741895,-73.989308; radius: 100")
      << "the centre comes from \"latitude\"/\"longitude\", not \"lat\"/\"lng\"";
  EXPECT_FALSE(geofences->at(1)->center.isValid()) << "no address, no centre";

  const auto places = TRPlace::placesWithSearchJson(readModelJson("venue_search.json"));
  ASSERT_EQ(places.size(), 4u);
  EXPECT_EQ(places[0]->venue->addressId, "a-200");
  EXPECT_EQ(places[3]->venue->venueId, std::nullopt) << "a numeric id is not an id";
}

}  // namespace
}  // namespace trevalo
