#include "trevalo/model/TRPlace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/ModelTestSupport.h"
#include "trevalo/model/TRFilter.h"
#include "trevalo/model/TRGeofence.h"
#include "trevalo/model/TRUserValues.h"
#include "trevalo/model/TRVisit.h"

namespace trevalo {
namespace {

using testing::archiveRoundTrip;
using ::testing::ElementsAre;
using testing::placeWithIds;
using testing::readModelJson;
using testing::snapshot;

TEST(TRPlaceParsingTest, ReadsEveryFieldOfAReverseGeocodeAnswer) {
  const auto place = TRPlace::initWithDictionary(readModelJson("reverse_geocode.json"));

  EXPECT_EQ(snapshot(place->venue), Json::parse(R"({"venueId": "v-5821", "addressId": "a-1009",
      "name": "Blue Door Coffee", "category": "food", "subcategory": "cafe"})"));
  EXPECT_EQ(snapshot(place->address), Json::parse(R"({"addressId": "a-1009", "geometryId": "g-77",
      "coordinatesType": "rooftop", "country": "United States", "locality": "New York",
      "countryCode": "US", "streetName": "Broadway", "streetNumber": "935", "postalCode": "10010",
      "region": "NY", "venueCount": 3, "lat": 40.741895, "lon": -73.989308})"));
  ASSERT_EQ(place->events->size(), 1u);
  EXPECT_EQ(snapshot(place->events->front()), Json::parse(R"({"lat": 40.741895,
      "lon": -73.989308, "eventId": "e-1", "name": "Latte art night",
      "url": "https://example.invalid/events/e-1", "startTime": 1767290400.0,
      "stopTime": 1767297600.0, "addressId": "a-1009", "venueId": "v-5821"})"));
  EXPECT_EQ(place->geometry->geometryId, "g-77");
  EXPECT_EQ(place->geometry->dist, 4u);
  const auto polygon = std::dynamic_pointer_cast<TRSinglePolygon>(place->geometry->geometryShape);
  ASSERT_NE(polygon, nullptr);
  EXPECT_EQ(polygon->vertices().size(), 5u) << "the hole is not part of the outline";
}

// A value of the wrong kind leaves its field at the default; negative counts read as 0 rather
// than wrapping round to huge unsigned values.
TEST(TRPlaceParsingTest, ValuesOfTheWrongKindLeaveTheirFieldsAtTheDefaults) {
  const Json defaults = {{"address", snapshot(std::make_shared<TRAddress>())},
                         {"venue", snapshot(std::make_shared<TRVenue>())},
                         {"events", Json::array()},
                         {"alternatives", Json::array()},
                         {"geometry", snapshot(std::make_shared<TRGeometry>())}};
  const struct {
    const char* json;
    std::vector<std::pair<const char*, Json>> read;  // JSON pointer and the value read there
  } cases[] = {
      {R"("place")", {}},
      {R"({"venue": 1, "address": "x", "geometry": [], "events": {}, "alternatives": "no"})", {}},
      {R"({"venue": {"id": 42, "name": "Deli", "category": ["x"]}})", {{"/venue/name", "Deli"}}},
      {R"({"address": {"venue_count": -5}, "geometry": {"dist": -3, "inside": "yes"}})",
       {{"/geometry/inside", true}}},
  };
  for (const auto& c : cases) {
    Json expected = defaults;
    for (const auto& [pointer, value] : c.read)
      expected[Json::json_pointer(pointer)] = value;
    const auto place = TRPlace::initWithDictionary(Json::parse(c.json));
    EXPECT_EQ(snapshot(place), expected) << c.json;
  }

  // Positions that do not start with two numbers are skipped rather than invented.
  const auto place = TRPlace::initWithDictionary(readModelJson("malformed_place.json"));
  EXPECT_EQ(place->events->size(), 3u) << "one event per element, whatever the element";
  EXPECT_EQ(place->geometry->dist, 0u) << "a string is not a number";
  const auto polygon = std::dynamic_pointer_cast<TRSinglePolygon>(place->geometry->geometryShape);
  ASSERT_NE(polygon, nullptr);
  EXPECT_THAT(polygon->vertices(),
              ElementsAre(Coordinate{40.7421, -73.9890}, Coordinate{40.7417, -73.9896}));
}

// A hostile answer nesting alternatives without end must not exhaust the stack.
TEST(TRPlaceParsingTest, AlternativesNestedBeyondTheLimitAreNotRead) {
  Json answer = Json::object({{"venue", {{"id", "bottom"}}}});
  for (int level = 0; level < 10000; ++level)
    answer = Json::object({{"venue", {{"id", std::to_string(level)}}},
                           {"alternatives", Json::array({std::move(answer)})}});

  auto place = TRPlace::initWithDictionary(answer);

  int depth = 0;
  for (; !place->alternatives->empty(); ++depth)
    place = place->alternatives->front();
  EXPECT_EQ(depth, TRPlace::kMaximumAlternativeDepth);
}

// Identity is the pair of ids, where a missing id and an empty one are the same; the whole
// lower-cased country name decides whether a place is in the US.
TEST(TRPlaceTest, IdentityValueAndCountry) {
  const struct {
    std::optional<std::string> addressId, venueId, otherAddressId, otherVenueId, country;
    bool hasValue, equal, outsideOfUS;
  } cases[] = {
      {"A1", "V9", "A1", "V9", "UNITED STATES", true, true, false},
      {"A1", "V9", "A1", "V8", "usa", true, false, false},
      {"A1", "", "A1", std::nullopt, " usa", true, true, true},
      {"", "", "A2", "", "Canada", false, false, true},
      {std::nullopt, std::nullopt, "", "", std::nullopt, false, true, true},
  };
  for (const auto& c : cases) {
    const auto place = placeWithIds(c.addressId, c.venueId);
    place->address->country = c.country;
    EXPECT_EQ(place->hasValue(), c.hasValue);
    EXPECT_EQ(place->isEqual(placeWithIds(c.otherAddressId, c.otherVenueId).get()), c.equal);
    EXPECT_EQ(place->outsideOfUS(), c.outsideOfUS);
  }
  EXPECT_FALSE(TRPlace().isEqual(nullptr));
  EXPECT_TRUE(TRPlace().outsideOfUS()) << "no address record";
}

// A filter accepts another with the same radius whose fields match every field set (non-empty)
// here; a field missing or empty here accepts anything, so the relation is one-way.
TEST(TRFilterTest, AcceptsWhatEveryFieldSetHereNames) {
  struct Fields {
    std::optional<std::string> category, name, addressId;
    double radius = 50.0;
  };
  const auto filter = [](const Fields& fields) {
    auto made = std::make_shared<TRFilter>();
    made->venueCategory = fields.category;
    made->venueName = fields.name;
    made->addressId = fields.addressId;
    made->radius = fields.radius;
    return made;
  };
  const struct {
    const char* name;
    Fields mine, theirs;
    bool accepted;
  } cases[] = {
      {"all the same", {"food", "Deli", "a-1"}, {"food", "Deli", "a-1"}, true},
      {"another radius", {"food", "Deli", "a-1"}, {"food", "Deli", "a-1", 50.5}, false},
      {"another category", {"food", {}, {}}, {"bars", {}, {}}, false},
      {"another name", {{}, "Deli", {}}, {{}, "Diner", {}}, false},
      {"the name set here only", {{}, "Deli", {}}, {"Deli", "Deli", "Deli"}, true},
      {"the name against a category", {{}, "Deli", {}}, {"Deli", {}, {}}, false},
      {"another address", {{}, {}, "a-1"}, {{}, {}, "a-2"}, false},
      {"nothing set here", {"", "", ""}, {"food", "Deli", "a-1"}, true},
      {"nothing set there", {"food", {}, {}}, {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(filter(c.mine)->isEqual(filter(c.theirs).get()), c.accepted);
  }
  EXPECT_FALSE(filter({})->isEqual(std::make_shared<TRPlace>().get()));
  EXPECT_FALSE(filter({})->isEqual(nullptr));
}

// What a record writes into an archive, as the dump tool shows it.
Json archived(const std::shared_ptr<const platform::Archivable>& record) {
  return platform::KeyedUnarchiver::dumpAsJson(
      platform::KeyedArchiver::archivedDataWithRootObject(record));
}

template <class T>
std::pair<Json, Json> beforeAndAfter(const std::shared_ptr<T>& record) {
  return {archived(record), archived(archiveRoundTrip(record))};
}

// Stored files are read back by later versions, so each record keeps its keys, in order, and a
// restored record writes the very archive it was read from. Unlike JSON, archives keep missing
// records and lists missing.
TEST(ModelArchiveTest, EveryRecordRoundTripsUnderItsKeys) {
  const auto place = TRPlace::initWithDictionary(readModelJson("reverse_geocode.json"));
  const auto visit = TRVisit::visitsWithJson(readModelJson("visits.json")).front();
  visit->place = place;
  const auto geofence = TRGeofence::geofencesWithJson(readModelJson("geofences.json"))->front();
  geofence->radius = 42.25;
  auto filter = std::make_shared<TRFilter>();
  filter->radius = 12.75;
  filter->venueCategory = "food";
  filter->venueName = "Deli";
  const auto values = TRUserValues::initWithDictionary(
      Json::parse(R"({"name": "Ann", "nested": {"a": [1, 2]}})"), false);

  nlohmann::json keys = nlohmann::json::object();
  for (const auto& root :
       std::vector<std::shared_ptr<const platform::Archivable>>{visit, geofence, filter, values}) {
    const Json dump = archived(root);
    for (const auto& object : dump["objects"]) {
      auto& names = keys[object["$class"].get<std::string>()] = nlohmann::json::array();
      for (const auto& [key, value] : object.items())
        if (key != "$class") names.push_back(key);
    }
  }
  EXPECT_EQ(keys, nlohmann::json::parse(R"({
      "TRVisit": ["self.arrivalDate", "self.departureDate", "self.place"],
      "TRPlace": ["self.address", "self.venue", "self.events", "self.alternatives", "self.geometry"],
      "TRAddress": ["self.addressId", "self.geometryId", "self.coordinatesType", "self.country",
          "self.locality", "self.countryCode", "self.streetName", "self.streetNumber",
          "self.postalCode", "self.region", "self.venueCount", "self.lat", "self.lon"],
      "TRVenue": ["self.venueId", "self.addressId", "self.name", "self.category", "self.subcategory"],
      "TREvent": ["_lat", "_lon", "self.eventId", "self.name", "self.url", "self.startTime",
          "self.stopTime", "self.addressId", "self.venueId"],
      "TRGeometry": ["self.geometryId", "self.geometryClass", "self.type", "self.geometry",
          "self.geometryShape", "self.inside", "self.dist"],
      "TRSinglePolygon": ["self.type", "self.coordinates"],
      "TRMultiPolygon": ["self.type", "self.coordinates"], "TRPoint": ["self.type", "self.coordinates"],
      "TRGeofence": ["self.center.latitude", "self.center.longitude", "self.radius", "self.venue"],
      "TRFilter": ["self.venueCategory", "self.venueName", "self.radius", "self.addressId"],
      "TRUserValues": ["self.dictionary"]})"));

  for (const auto& [before, after] :
       {beforeAndAfter(visit), beforeAndAfter(geofence), beforeAndAfter(filter),
        beforeAndAfter(values), beforeAndAfter(std::make_shared<TRPlace>())}) {
    EXPECT_EQ(after, before);
  }
  EXPECT_EQ(archiveRoundTrip(std::make_shared<TRPlace>())->events, std::nullopt);
}

}  // namespace
}  // namespace trevalo
