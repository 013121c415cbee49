#include "trevalo/model/TRPlace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <string>
#include <utility>

#include "model/ModelTestSupport.h"
#include "trevalo/platform/Placemark.h"

namespace trevalo {
namespace {

using testing::archivedKeys;
using testing::archiveRoundTrip;
using ::testing::ElementsAre;
using testing::placeWithIds;
using testing::readModelJson;
using testing::snapshot;

// --- Parsing ---------------------------------------------------------------------------------

TEST(TRPlaceParsingTest, AnythingButAPlaceMapGivesAWholePlaceAtItsDefaults) {
  const Json defaults = {{"address", snapshot(std::make_shared<TRAddress>())},
                         {"venue", snapshot(std::make_shared<TRVenue>())},
                         {"events", Json::array()},
                         {"alternatives", Json::array()},
                         {"geometry", snapshot(std::make_shared<TRGeometry>())}};
  for (
      const char* json :
      {"{}", "null", "[]", "\"place\"", "42",
       R"({"venue": null, "address": null, "geometry": null, "events": null, "alternatives": null})",
       R"({"venue": 1, "address": "x", "geometry": [], "events": {}, "alternatives": "none"})"}) {
    const auto place = TRPlace::initWithDictionary(Json::parse(json));
    EXPECT_EQ(snapshot(place), defaults) << json;
    EXPECT_FALSE(place->hasValue()) << json;
  }
  EXPECT_EQ(snapshot(TRPlace::initWithDictionary(nullptr)), defaults);
}

TEST(TRPlaceParsingTest, VenueTextFieldsReadOnlyStrings) {
  const auto venue = TRVenue::initWithDictionary(Json::parse(
      R"({"id": 42, "address_id": true, "name": 1.5, "category": ["x"], "subcategory": {}})"));
  EXPECT_EQ(snapshot(venue), snapshot(std::make_shared<TRVenue>()));
}

TEST(TRPlaceParsingTest, ReadsEveryFieldOfAReverseGeocodeAnswer) {
  const auto place = TRPlace::initWithDictionary(readModelJson("reverse_geocode.json"));

  EXPECT_EQ(snapshot(place->venue), Json::parse(R"({"venueId": "v-5821", "addressId": "a-1009",
      "name": "Blue Door Coffee", "category": "food", "subcategory": "cafe"})"));
  EXPECT_EQ(snapshot(place->address), Json::parse(R"({"addressId": "a-1009", "geometryId": "g-77",
      "coordinatesType": "rooftop", "country": "United States", "locality": "New York",
      "countryCode": "US", "streetName": "Broadway", "streetNumber": "935", "postalCode": "10010",
      "region": "NY", "venueCount": 3, "lat": 40.741895, "lon": -73.989308})"));
  EXPECT_EQ(place->address->coordinate(), (Coordinate{40.741895, -73.989308}));
  ASSERT_EQ(place->events->size(), 1u);
  EXPECT_EQ(snapshot(place->events->front()), Json::parse(R"({"lat": 40.741895,
      "lon": -73.989308, "eventId": "e-1", "name": "Latte art night",
      "url": "https://example.invalid/events/e-1", "startTime": 1767290400.0,
      "stopTime": 1767297600.0, "addressId": "a-1009", "venueId": "v-5821"})"));

  EXPECT_EQ(place->geometry->geometryId, "g-77");
  EXPECT_TRUE(place->geometry->inside);
  EXPECT_EQ(place->geometry->dist, 4u);
  const auto polygon = std::dynamic_pointer_cast<TRSinglePolygon>(place->geometry->geometryShape);
  ASSERT_NE(polygon, nullptr);
  EXPECT_EQ(polygon->vertices().size(), 5u) << "the hole is not part of the outline";

  // Alternatives are places of their own, nesting further.
  ASSERT_EQ(place->alternatives->size(), 2u);
  EXPECT_EQ(place->alternatives->at(0)->venue->name, "Corner Books");
  EXPECT_EQ(place->alternatives->at(0)->alternatives->at(0)->venue->venueId, "v-5823");
  EXPECT_EQ(place->alternatives->at(1)->address->addressId, std::nullopt);
}

TEST(TRPlaceParsingTest, AMalformedAnswerLeavesEveryFieldReadOrAtItsDefault) {
  const auto place = TRPlace::initWithDictionary(readModelJson("malformed_place.json"));

  EXPECT_EQ(snapshot(place->venue), snapshot(std::make_shared<TRVenue>()));
  EXPECT_EQ(snapshot(place->address), snapshot(std::make_shared<TRAddress>()))
      << "numbers for text, text for the location map and a negative count all read as missing";
  EXPECT_TRUE(place->alternatives->empty()) << "a map is not an array of alternatives";

  ASSERT_EQ(place->events->size(), 3u) << "one event per element, whatever the element";
  for (const auto& event : *place->events) {
    EXPECT_EQ(event->startTime, Date(0.0));
    EXPECT_EQ(event->lat, 0.0);
  }

  EXPECT_TRUE(place->geometry->inside) << "\"yes\" is a true Boolean";
  EXPECT_EQ(place->geometry->dist, 0u) << "a string is not a number";
  const auto polygon = std::dynamic_pointer_cast<TRSinglePolygon>(place->geometry->geometryShape);
  ASSERT_NE(polygon, nullptr);
  EXPECT_THAT(polygon->vertices(),
              ElementsAre(Coordinate{40.7421, -73.9890}, Coordinate{40.7417, -73.9896}))
      << "only positions that start with two numbers are vertices";
}

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

TEST(TRPlaceParsingTest, EventTimesAreMillisecondsAndMissingOnesAre1970) {
  const auto event = TREvent::initWithDictionary(Json{{"start_time", 1500}});
  EXPECT_EQ(event->startTime, Date(1.5));
  EXPECT_EQ(event->stopTime, Date(0.0));
}

TEST(TRPlaceParsingTest, HomeAndWorkComeFromTheirOwnMaps) {
  const Json answer = readModelJson("home_work.json");

  const auto home = TRAddress::homeAddressWithJson(answer);
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(home->addressId, "a-home");
  EXPECT_EQ(home->venueCount, 12u);
  EXPECT_EQ(home->coordinate(), (Coordinate{51.5033, -0.1196}));
  EXPECT_EQ(TRAddress::workAddressWithJson(answer), nullptr) << "\"work\" is not a map";
  EXPECT_EQ(TRAddress::homeAddressWithJson(Json::array()), nullptr);
}

TEST(TRPlaceParsingTest, InSearchResultsTheEmbeddedAddressDecidesTheVenuesAddressId) {
  const auto places = TRPlace::placesWithSearchJson(readModelJson("venue_search.json"));

  ASSERT_EQ(places.size(), 4u);
  EXPECT_EQ(places[0]->venue->name, "Harbor Noodles");
  EXPECT_EQ(places[0]->venue->addressId, "a-200") << "not the stale \"address_id\"";
  EXPECT_EQ(places[0]->address->locality, "San Francisco");
  EXPECT_EQ(places[1]->venue->addressId, std::nullopt) << "no address map, no address id";
  EXPECT_EQ(places[2]->venue->name, std::nullopt);
  EXPECT_EQ(places[3]->venue->venueId, std::nullopt) << "a numeric id is not an id";
  for (const auto& place : places) {
    ASSERT_NE(place->address, nullptr);
    EXPECT_EQ(place->geometry, nullptr);
    EXPECT_EQ(place->events, std::nullopt);
    EXPECT_EQ(place->alternatives, std::nullopt);
  }
  EXPECT_TRUE(TRPlace::placesWithSearchJson(Json::object({{"id", "v"}})).empty());
  EXPECT_TRUE(TRPlace::placesWithSearchJson(Json()).empty());
}

TEST(TRPlaceParsingTest, TheFirstPlacemarkGivesVenueAndAddressUnderFreshIds) {
  platform::Placemark first;
  first.name = "Ferry Building";
  first.location = Location({37.7955, -122.3937}, 0, 5, -1, -1, -1, Date(1.0));
  first.country = "United States";
  first.locality = "San Francisco";
  first.ISOcountryCode = "US";
  first.thoroughfare = "The Embarcadero";
  first.subThoroughfare = "1";
  first.postalCode = "94111";
  platform::Placemark second;
  second.name = "Ignored";

  const auto place = TRPlace::initWithPlacemarks({first, second});

  const std::regex uuid("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
  ASSERT_TRUE(place->venue->venueId && place->address->addressId);
  EXPECT_TRUE(std::regex_match(*place->venue->venueId, uuid)) << *place->venue->venueId;
  EXPECT_TRUE(std::regex_match(*place->address->addressId, uuid)) << *place->address->addressId;
  EXPECT_NE(place->venue->venueId, TRPlace::initWithPlacemarks({first})->venue->venueId);
  EXPECT_EQ(place->venue->name, "Ferry Building");
  Json address = snapshot(place->address);
  address.erase("addressId");
  EXPECT_EQ(address, Json::parse(R"({"geometryId": null, "coordinatesType": null,
      "country": "United States", "locality": "San Francisco", "countryCode": "US",
      "streetName": "The Embarcadero", "streetNumber": "1", "postalCode": "94111", "region": null,
      "venueCount": 0, "lat": 37.7955, "lon": -122.3937})"));

  EXPECT_EQ(snapshot(TRPlace::initWithPlacemarks({})), snapshot(std::make_shared<TRPlace>()));
}

// --- hasValue, outsideOfUS, equality ---------------------------------------------------------

TEST(TRPlaceTest, HasValueNeedsAVenueIdOrAnAddressIdWithCharacters) {
  const struct {
    std::optional<std::string> venueId, addressId;
    bool expected;
  } cases[] = {{"V", std::nullopt, true}, {"", "A", true},
               {std::nullopt, "A", true}, {"", "", false},
               {std::nullopt, "", false}, {std::nullopt, std::nullopt, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(placeWithIds(c.addressId, c.venueId)->hasValue(), c.expected)
        << c.venueId.value_or("(none)") << " / " << c.addressId.value_or("(none)");
  }
  EXPECT_FALSE(TRPlace().hasValue());
  auto venueOnly = std::make_shared<TRPlace>();
  venueOnly->venue = std::make_shared<TRVenue>();
  venueOnly->venue->venueId = "V";
  EXPECT_TRUE(venueOnly->hasValue()) << "a venue id is enough without an address record";
}

TEST(TRPlaceTest, OutsideOfUSComparesTheWholeLowerCasedCountryName) {
  const auto outside = [](std::optional<std::string> country) {
    auto place = placeWithIds("A", "V");
    place->address->country = std::move(country);
    return place->outsideOfUS();
  };
  for (const char* us : {"United States", "UNITED STATES", "usa", "Us", "United States Of America"})
    EXPECT_FALSE(outside(us)) << us;
  for (const char* other : {"Canada", "", " usa", "usa ", "U.S.A."})
    EXPECT_TRUE(outside(other)) << other;
  EXPECT_TRUE(outside(std::nullopt));
  EXPECT_TRUE(TRPlace().outsideOfUS()) << "no address record";
}

TEST(TRPlaceTest, PlacesAreTheSameWhenAddressAndVenueIdsAre) {
  auto a = placeWithIds("A1", "V9");
  auto b = placeWithIds("A1", "V9");
  a->venue->name = "Old name";
  b->venue->name = "New name";
  b->geometry = std::make_shared<TRGeometry>();

  EXPECT_TRUE(a->isEqual(b.get()));
  EXPECT_TRUE(b->isEqual(a.get()));
  EXPECT_FALSE(a->isEqual(placeWithIds("A1", "V8").get()));
  EXPECT_FALSE(a->isEqual(placeWithIds("A2", "V9").get()));
  EXPECT_FALSE(a->isEqual(placeWithIds("A1", std::nullopt).get()));
  EXPECT_TRUE(placeWithIds(std::nullopt, "V")->isEqual(placeWithIds("", "V").get()))
      << "a missing id and an empty one are the same";

  const auto address = std::make_shared<TRAddress>();
  address->addressId = "A1";
  EXPECT_FALSE(placeWithIds("A1", std::nullopt)->isEqual(address.get()));
  EXPECT_FALSE(TRPlace().isEqual(nullptr)) << "not even an empty place equals nothing";
}

TEST(TRPlaceTest, DescriptionShowsTheVenueRecord) {
  const auto place = placeWithIds("A", "V");
  EXPECT_TRUE(
      std::regex_match(place->description(), std::regex("<TRPlace: venue:<TRVenue: 0x[0-9a-f]+>>")))
      << place->description();
  EXPECT_EQ(TRPlace().description(), "<TRPlace: venue:(null)>");
}

// --- Archives --------------------------------------------------------------------------------

// Every recorded answer also makes this round trip (ServiceAnswerTest). Archives, unlike JSON,
// keep missing records, lists and event times missing.
TEST(TRPlaceArchiveTest, ARoundTripKeepsEveryFieldAndMissingStaysMissing) {
  const auto full = TRPlace::initWithDictionary(readModelJson("reverse_geocode.json"));
  full->address->venueCount = std::numeric_limits<std::uint64_t>::max() - 6;
  const auto searched = TRPlace::placesWithSearchJson(readModelJson("venue_search.json")).front();
  const auto parsed = TRPlace::initWithDictionary(Json::object());
  for (const auto& place : {full, searched, parsed, std::make_shared<TRPlace>()})
    EXPECT_EQ(snapshot(archiveRoundTrip(place)), snapshot(place));

  const auto event = archiveRoundTrip(std::make_shared<TREvent>());
  EXPECT_EQ(event->startTime, std::nullopt);
  EXPECT_EQ(event->stopTime, std::nullopt);
}

TEST(TRPlaceArchiveTest, RecordsWriteTheDocumentedKeysInOrder) {
  const auto place = TRPlace::initWithDictionary(readModelJson("reverse_geocode.json"));

  EXPECT_THAT(archivedKeys(place, "TRPlace"),
              ElementsAre("self.address", "self.venue", "self.events", "self.alternatives",
                          "self.geometry"));
  EXPECT_THAT(archivedKeys(place, "TRVenue"),
              ElementsAre("self.venueId", "self.addressId", "self.name", "self.category",
                          "self.subcategory"));
  EXPECT_THAT(
      archivedKeys(place, "TRAddress"),
      ElementsAre("self.addressId", "self.geometryId", "self.coordinatesType", "self.country",
                  "self.locality", "self.countryCode", "self.streetName", "self.streetNumber",
                  "self.postalCode", "self.region", "self.venueCount", "self.lat", "self.lon"));
  EXPECT_THAT(archivedKeys(place, "TREvent"),
              ElementsAre("_lat", "_lon", "self.eventId", "self.name", "self.url", "self.startTime",
                          "self.stopTime", "self.addressId", "self.venueId"));
  EXPECT_THAT(archivedKeys(place, "TRGeometry"),
              ElementsAre("self.geometryId", "self.geometryClass", "self.type", "self.geometry",
                          "self.geometryShape", "self.inside", "self.dist"));
  EXPECT_THAT(archivedKeys(place, "TRSinglePolygon"), ElementsAre("self.type", "self.coordinates"));
}

}  // namespace
}  // namespace trevalo
