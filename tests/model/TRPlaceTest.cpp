#include "trevalo/model/TRPlace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "model/ModelTestSupport.h"
#include "trevalo/platform/Placemark.h"

namespace trevalo {
namespace {

using testing::archivedKeys;
using testing::archiveRoundTrip;
using testing::CaseName;
using ::testing::ElementsAre;
using testing::placeWithIds;
using testing::PrintTo;
using testing::readModelJson;
using testing::snapshot;

const std::regex kUuid("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");

// --- Parsing ---------------------------------------------------------------------------------

// Whatever stands in for the place map, the place comes out whole, with every field at its
// default.
struct JsonCase {
  const char* name;
  const char* json;
};

class EmptyPlaceMapTest : public ::testing::TestWithParam<JsonCase> {};

TEST_P(EmptyPlaceMapTest, GivesAPlaceWithEveryFieldAtItsDefault) {
  const auto place = TRPlace::initWithDictionary(Json::parse(GetParam().json));

  ASSERT_NE(place->venue, nullptr);
  ASSERT_NE(place->address, nullptr);
  ASSERT_NE(place->geometry, nullptr);
  EXPECT_EQ(snapshot(place->venue), snapshot(std::make_shared<TRVenue>()));
  EXPECT_EQ(snapshot(place->address), snapshot(std::make_shared<TRAddress>()));
  EXPECT_EQ(snapshot(place->geometry), snapshot(std::make_shared<TRGeometry>()));
  ASSERT_TRUE(place->events.has_value());
  EXPECT_TRUE(place->events->empty());
  ASSERT_TRUE(place->alternatives.has_value());
  EXPECT_TRUE(place->alternatives->empty());
  EXPECT_FALSE(place->hasValue());
}

INSTANTIATE_TEST_SUITE_P(
    Maps, EmptyPlaceMapTest,
    ::testing::Values(JsonCase{"NoKeys", "{}"}, JsonCase{"Null", "null"}, JsonCase{"Array", "[]"},
                      JsonCase{"Text", "\"place\""}, JsonCase{"Number", "42"},
                      JsonCase{"NullMembers", R"({"venue": null, "address": null, "geometry": null,
                                                  "events": null, "alternatives": null})"},
                      JsonCase{"MistypedMembers", R"({"venue": 1, "address": "x", "geometry": [],
                                                      "events": {}, "alternatives": "none"})"}),
    CaseName());

// Text fields take only JSON strings: a number, Boolean, null, list or map reads as missing.
struct TextField {
  const char* name;
  std::optional<std::string> TRVenue::*field;
};

class VenueTextFieldTest : public ::testing::TestWithParam<TextField> {};

TEST_P(VenueTextFieldTest, ReadsOnlyStrings) {
  const TextField& field = GetParam();
  EXPECT_EQ(TRVenue::initWithDictionary(Json{{field.name, "x 1"}}).get()->*field.field, "x 1");
  for (const Json& wrong :
       {Json(42), Json(true), Json(nullptr), Json::array({"x"}), Json::object({{"x", "y"}})}) {
    EXPECT_EQ(TRVenue::initWithDictionary(Json{{field.name, wrong}}).get()->*field.field,
              std::nullopt)
        << field.name << " = " << wrong.dump();
  }
}

INSTANTIATE_TEST_SUITE_P(Venue, VenueTextFieldTest,
                         ::testing::Values(TextField{"id", &TRVenue::venueId},
                                           TextField{"address_id", &TRVenue::addressId},
                                           TextField{"name", &TRVenue::name},
                                           TextField{"category", &TRVenue::category},
                                           TextField{"subcategory", &TRVenue::subcategory}),
                         CaseName());

TEST(TRPlaceParsingTest, ReadsEveryFieldOfAReverseGeocodeAnswer) {
  const auto place = TRPlace::initWithDictionary(readModelJson("reverse_geocode.json"));

  EXPECT_EQ(snapshot(place->venue), (Json{{"venueId", "v-5821"},
                                          {"addressId", "a-1009"},
                                          {"name", "Blue Door Coffee"},
                                          {"category", "food"},
                                          {"subcategory", "cafe"}}));
  EXPECT_EQ(snapshot(place->address), (Json{{"addressId", "a-1009"},
                                            {"geometryId", "g-77"},
                                            {"coordinatesType", "rooftop"},
                                            {"country", "United States"},
                                            {"locality", "New York"},
                                            {"countryCode", "US"},
                                            {"streetName", "Broadway"},
                                            {"streetNumber", "935"},
                                            {"postalCode", "10010"},
                                            {"region", "NY"},
                                            {"venueCount", 3},
                                            {"lat", 40.741895},
                                            {"lon", -73.989308}}));
  EXPECT_EQ(place->address->coordinate(), (Coordinate{40.741895, -73.989308}));

  ASSERT_EQ(place->events->size(), 1u);
  EXPECT_EQ(snapshot(place->events->front()), (Json{{"lat", 40.741895},
                                                    {"lon", -73.989308},
                                                    {"eventId", "e-1"},
                                                    {"name", "Latte art night"},
                                                    {"url", "https://example.invalid/events/e-1"},
                                                    {"startTime", 1767290400.0},
                                                    {"stopTime", 1767297600.0},
                                                    {"addressId", "a-1009"},
                                                    {"venueId", "v-5821"}}));

  EXPECT_EQ(place->geometry->geometryId, "g-77");
  EXPECT_TRUE(place->geometry->inside);
  EXPECT_EQ(place->geometry->dist, 4u);
  const auto polygon = std::dynamic_pointer_cast<TRSinglePolygon>(place->geometry->geometryShape);
  ASSERT_NE(polygon, nullptr);
  EXPECT_EQ(polygon->vertices().size(), 5u) << "the hole is not part of the outline";

  // Alternatives are places of their own, nesting further.
  ASSERT_EQ(place->alternatives->size(), 2u);
  const auto& books = place->alternatives->at(0);
  EXPECT_EQ(books->venue->name, "Corner Books");
  EXPECT_FALSE(books->outsideOfUS());
  ASSERT_EQ(books->alternatives->size(), 1u);
  const auto& gym = books->alternatives->front();
  EXPECT_EQ(gym->venue->venueId, "v-5823");
  EXPECT_NE(std::dynamic_pointer_cast<TRPoint>(gym->geometry->geometryShape), nullptr);
  EXPECT_TRUE(gym->alternatives->empty());
  const auto park = place->alternatives->at(1);
  EXPECT_NE(std::dynamic_pointer_cast<TRMultiPolygon>(park->geometry->geometryShape), nullptr);
  EXPECT_EQ(park->address->addressId, std::nullopt);
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
    EXPECT_EQ(event->stopTime, Date(0.0));
    EXPECT_EQ(event->lat, 0.0);
    EXPECT_EQ(event->eventId, std::nullopt);
  }

  EXPECT_EQ(place->geometry->geometryId, std::nullopt);
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
  while (!place->alternatives->empty()) {
    place = place->alternatives->front();
    ++depth;
  }
  EXPECT_EQ(depth, TRPlace::kMaximumAlternativeDepth);
}

TEST(TREventParsingTest, MillisecondTimesBecomeDatesAndAMissingTimeIs1970) {
  const auto event = TREvent::initWithDictionary(Json{{"start_time", 1500}});
  EXPECT_EQ(event->startTime, Date(1.5));
  EXPECT_EQ(event->stopTime, Date(0.0)) << "missing, yet a date, not nothing";
}

TEST(TRAddressParsingTest, HomeAndWorkComeFromTheirOwnMaps) {
  const Json answer = readModelJson("home_work.json");

  const auto home = TRAddress::homeAddressWithJson(answer);
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(home->addressId, "a-home");
  EXPECT_EQ(home->venueCount, 12u);
  EXPECT_EQ(home->coordinate(), (Coordinate{51.5033, -0.1196}));
  EXPECT_EQ(TRAddress::workAddressWithJson(answer), nullptr) << "\"work\" is not a map";
  EXPECT_EQ(TRAddress::homeAddressWithJson(Json::array()), nullptr);
}

// --- Search results --------------------------------------------------------------------------

TEST(TRPlaceSearchTest, TheEmbeddedAddressDecidesTheVenuesAddressId) {
  const auto places = TRPlace::placesWithSearchJson(readModelJson("venue_search.json"));

  ASSERT_EQ(places.size(), 4u);
  EXPECT_EQ(places[0]->venue->name, "Harbor Noodles");
  EXPECT_EQ(places[0]->venue->addressId, "a-200") << "not the stale \"address_id\"";
  EXPECT_EQ(places[0]->address->locality, "San Francisco");
  EXPECT_EQ(places[1]->venue->addressId, std::nullopt) << "no address map, no address id";
  EXPECT_EQ(places[2]->venue->name, std::nullopt);
  EXPECT_EQ(places[3]->venue->venueId, std::nullopt) << "a numeric id is not an id";
  EXPECT_TRUE(places[3]->outsideOfUS());
  for (const auto& place : places) {
    ASSERT_NE(place->address, nullptr);
    EXPECT_EQ(place->geometry, nullptr);
    EXPECT_EQ(place->events, std::nullopt);
    EXPECT_EQ(place->alternatives, std::nullopt);
  }
}

TEST(TRPlaceSearchTest, AnythingButAnArrayGivesNoPlaces) {
  EXPECT_TRUE(TRPlace::placesWithSearchJson(Json::object({{"id", "v"}})).empty());
  EXPECT_TRUE(TRPlace::placesWithSearchJson(Json()).empty());
}

// --- Placemarks ------------------------------------------------------------------------------

TEST(TRPlacePlacemarkTest, TheFirstPlacemarkGivesVenueAndAddressUnderFreshIds) {
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
  const auto again = TRPlace::initWithPlacemarks({first});

  ASSERT_TRUE(place->venue->venueId.has_value());
  EXPECT_TRUE(std::regex_match(*place->venue->venueId, kUuid)) << *place->venue->venueId;
  EXPECT_TRUE(std::regex_match(*place->address->addressId, kUuid)) << *place->address->addressId;
  EXPECT_NE(place->venue->venueId, again->venue->venueId);
  EXPECT_EQ(place->venue->name, "Ferry Building");
  EXPECT_EQ(place->venue->category, std::nullopt);
  Json address = snapshot(place->address);
  address.erase("addressId");
  EXPECT_EQ(address, (Json{{"geometryId", nullptr},
                           {"coordinatesType", nullptr},
                           {"country", "United States"},
                           {"locality", "San Francisco"},
                           {"countryCode", "US"},
                           {"streetName", "The Embarcadero"},
                           {"streetNumber", "1"},
                           {"postalCode", "94111"},
                           {"region", nullptr},
                           {"venueCount", 0},
                           {"lat", 37.7955},
                           {"lon", -122.3937}}));
  EXPECT_TRUE(place->hasValue());
}

TEST(TRPlacePlacemarkTest, NoPlacemarkGivesAnEmptyPlace) {
  const auto place = TRPlace::initWithPlacemarks({});
  EXPECT_EQ(snapshot(place), snapshot(std::make_shared<TRPlace>()));
  EXPECT_FALSE(place->hasValue());

  const auto unnamed = TRPlace::initWithPlacemarks({platform::Placemark{}});
  EXPECT_EQ(unnamed->address->lat, 0.0);
  EXPECT_EQ(unnamed->venue->name, std::nullopt);
}

// --- hasValue, outsideOfUS, equality ---------------------------------------------------------

struct HasValueCase {
  const char* name;
  std::optional<std::string> venueId;
  std::optional<std::string> addressId;
  bool expected;
};

class TRPlaceHasValueTest : public ::testing::TestWithParam<HasValueCase> {};

TEST_P(TRPlaceHasValueTest, NeedsAVenueIdOrAnAddressIdWithCharacters) {
  const auto& c = GetParam();
  EXPECT_EQ(placeWithIds(c.addressId, c.venueId)->hasValue(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Ids, TRPlaceHasValueTest,
    ::testing::Values(HasValueCase{"Both", "V", "A", true},
                      HasValueCase{"VenueOnly", "V", std::nullopt, true},
                      HasValueCase{"EmptyVenueAndAddress", "", "A", true},
                      HasValueCase{"MissingVenueAndAddress", std::nullopt, "A", true},
                      HasValueCase{"BothEmpty", "", "", false},
                      HasValueCase{"MissingAndEmpty", std::nullopt, "", false},
                      HasValueCase{"BothMissing", std::nullopt, std::nullopt, false}),
    CaseName());

TEST(TRPlaceHasValueTest, MissingVenueAndAddressRecordsCountAsEmpty) {
  EXPECT_FALSE(TRPlace().hasValue());
  auto place = std::make_shared<TRPlace>();
  place->venue = std::make_shared<TRVenue>();
  place->venue->venueId = "V";
  EXPECT_TRUE(place->hasValue()) << "a venue id is enough without an address";
}

struct CountryCase {
  const char* name;
  std::optional<std::string> country;
  bool outside;
};

class TRPlaceOutsideOfUSTest : public ::testing::TestWithParam<CountryCase> {};

TEST_P(TRPlaceOutsideOfUSTest, ComparesTheWholeLowerCasedName) {
  auto place = placeWithIds("A", "V");
  place->address->country = GetParam().country;
  EXPECT_EQ(place->outsideOfUS(), GetParam().outside);
}

INSTANTIATE_TEST_SUITE_P(
    Countries, TRPlaceOutsideOfUSTest,
    ::testing::Values(
        CountryCase{"UnitedStates", "United States", false},
        CountryCase{"UpperCase", "UNITED STATES", false}, CountryCase{"USA", "USA", false},
        CountryCase{"usa", "usa", false}, CountryCase{"us", "us", false},
        CountryCase{"Us", "Us", false}, CountryCase{"LongForm", "united states of america", false},
        CountryCase{"LongFormTitleCase", "United States Of America", false},
        CountryCase{"Canada", "Canada", true}, CountryCase{"Empty", "", true},
        CountryCase{"Missing", std::nullopt, true}, CountryCase{"LeadingSpace", " usa", true},
        CountryCase{"TrailingSpace", "usa ", true}, CountryCase{"Dotted", "U.S.A.", true}),
    CaseName());

TEST(TRPlaceOutsideOfUSTest, APlaceWithoutAnAddressIsOutside) {
  EXPECT_TRUE(TRPlace().outsideOfUS());
}

TEST(TRPlaceEqualityTest, PlacesAreTheSameWhenAddressAndVenueIdsAre) {
  auto a = placeWithIds("A1", "V9");
  auto b = placeWithIds("A1", "V9");
  a->venue->name = "Old name";
  b->venue->name = "New name";
  b->geometry = std::make_shared<TRGeometry>();

  EXPECT_TRUE(a->isEqual(b.get()));
  EXPECT_TRUE(b->isEqual(a.get()));
  EXPECT_TRUE(a->isEqual(a.get()));
  EXPECT_FALSE(a->isEqual(placeWithIds("A1", "V8").get()));
  EXPECT_FALSE(a->isEqual(placeWithIds("A2", "V9").get()));
  EXPECT_FALSE(a->isEqual(placeWithIds("A1", std::nullopt).get()));
  EXPECT_TRUE(placeWithIds(std::nullopt, "V")->isEqual(placeWithIds("", "V").get()))
      << "a missing id and an empty one are the same";
}

TEST(TRPlaceEqualityTest, APlaceIsNotEqualToAnotherKindOfRecordOrToNothing) {
  const auto place = placeWithIds("A1", std::nullopt);
  const auto address = std::make_shared<TRAddress>();
  address->addressId = "A1";
  EXPECT_FALSE(place->isEqual(address.get()));
  EXPECT_FALSE(place->isEqual(nullptr));
  EXPECT_FALSE(TRPlace().isEqual(nullptr)) << "not even an empty place equals nothing";
}

TEST(TRPlaceDescriptionTest, ShowsTheVenueRecord) {
  const auto place = placeWithIds("A", "V");
  EXPECT_TRUE(
      std::regex_match(place->description(), std::regex("<TRPlace: venue:<TRVenue: 0x[0-9a-f]+>>")))
      << place->description();
  EXPECT_EQ(TRPlace().description(), "<TRPlace: venue:(null)>");
}

// --- Archives --------------------------------------------------------------------------------

TEST(TRPlaceArchiveTest, ARoundTripKeepsEveryFieldDownToNestedAlternatives) {
  const auto place = TRPlace::initWithDictionary(readModelJson("reverse_geocode.json"));
  place->address->venueCount = std::numeric_limits<std::uint64_t>::max() - 6;

  const auto restored = archiveRoundTrip(place);

  ASSERT_NE(restored, nullptr);
  EXPECT_EQ(snapshot(restored), snapshot(place));
  EXPECT_EQ(restored->alternatives->at(0)->alternatives->at(0)->venue->name, "Upstairs Gym");
}

TEST(TRPlaceArchiveTest, MissingListsStayMissingAndEmptyListsStayEmpty) {
  const auto searched = TRPlace::placesWithSearchJson(readModelJson("venue_search.json")).front();
  const auto parsed = TRPlace::initWithDictionary(Json::object());

  const auto restoredSearched = archiveRoundTrip(searched);
  const auto restoredParsed = archiveRoundTrip(parsed);

  EXPECT_EQ(restoredSearched->events, std::nullopt);
  EXPECT_EQ(restoredSearched->alternatives, std::nullopt);
  EXPECT_EQ(restoredSearched->geometry, nullptr);
  ASSERT_TRUE(restoredParsed->events.has_value());
  EXPECT_TRUE(restoredParsed->events->empty());
  EXPECT_EQ(snapshot(restoredParsed), snapshot(parsed));
}

TEST(TRPlaceArchiveTest, AnArchivedEmptyPlaceHasNothingMadeUp) {
  const auto restored = archiveRoundTrip(std::make_shared<TRPlace>());
  EXPECT_EQ(restored->address, nullptr);
  EXPECT_EQ(restored->venue, nullptr);
  EXPECT_EQ(restored->events, std::nullopt);
  EXPECT_EQ(restored->alternatives, std::nullopt);
  EXPECT_EQ(restored->geometry, nullptr);
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

TEST(TRPlaceArchiveTest, AnEventWithoutTimesKeepsThemMissing) {
  const auto restored = archiveRoundTrip(std::make_shared<TREvent>());
  EXPECT_EQ(restored->startTime, std::nullopt) << "archives, unlike JSON, have no 1970 default";
  EXPECT_EQ(restored->stopTime, std::nullopt);
}

}  // namespace
}  // namespace trevalo
