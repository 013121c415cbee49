// The reference service's endpoints, answered as the SDK's own model reads them, and the
// requests it refuses without storing anything.
#include "service/ReferenceService.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ServiceTestSupport.h"
#include "service/ServiceResponder.h"
#include "trevalo/model/TRAddress.h"
#include "trevalo/model/TRGeofence.h"
#include "trevalo/model/TRGeometry.h"
#include "trevalo/model/TRPlace.h"
#include "trevalo/model/TRVenue.h"
#include "trevalo/model/TRVisit.h"

namespace trevalo::service {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr double kMonday = 1717372800.0;  // 2024-06-03T00:00:00Z, a Monday

class ReferenceServiceTest : public ::testing::Test {
 protected:
  ServiceResponse call(const std::string& method, const std::string& url,
                       const std::string& body = "") {
    return service.handle({method, url, body});
  }
  ServiceResponse post(const std::string& url, const Json& body) {
    return call("POST", url, body.dump());
  }

  static Json point(double latitude, double longitude, double accuracy) {
    return {{"latitude", latitude},
            {"longitude", longitude},
            {"horizontalAccuracy", accuracy},
            {"timestamp", kMonday},
            {"isindoor", true}};
  }

  // A visit log as the SDK sends it when a visit ends.
  static Json visitLog(const char* device, const char* venue, double start, double end,
                       double latitude = 48.85, double longitude = 2.35) {
    return {{"address_id", std::string("a-") + venue},
            {"app_opened", false},
            {"device_id", device},
            {"start_time", static_cast<std::int64_t>(start * 1000)},
            {"end_time", static_cast<std::int64_t>(end * 1000)},
            {"lat", latitude},
            {"lng", longitude},
            {"sdk_version", "1.0.0"},
            {"venue_id", venue}};
  }

  std::shared_ptr<ServiceStore> store = std::make_shared<ServiceStore>(":memory:");
  ReferenceService service{VenueTable::fromGeoJson(testing::kVenues), store,
                           [] { return Date(kMonday + 7 * 86400.0); }};
};

TEST_F(ReferenceServiceTest, ReverseGeocodeOfAPointGivesTheNearestVenueWithItsOutline) {
  const auto answer = call(
      "GET", "https://api.example/v1/geocode/reverse_geocode?lat=48.85015&lng=2.35038&api_token=t");
  ASSERT_EQ(answer.status, 200);
  const auto place = TRPlace::initWithDictionary(answer.body);
  EXPECT_EQ(place->venue->venueId, "cafe");
  EXPECT_EQ(place->venue->name, "Café Lumière");
  EXPECT_EQ(place->address->addressId, "a-cafe");
  EXPECT_EQ(place->address->streetNumber, "12");
  EXPECT_TRUE(place->geometry->inside);
  ASSERT_NE(place->geometry->geometryShape, nullptr);
  EXPECT_EQ(place->geometry->geometryShape->type(), "Polygon");
  ASSERT_TRUE(place->alternatives.has_value());
  ASSERT_EQ(place->alternatives->size(), 1u);
  EXPECT_EQ((*place->alternatives)[0]->venue->venueId, "bakery");
  // Nothing within reach: an empty place, which sends the SDK to its own geocoder.
  EXPECT_EQ(call("GET", "/v1/geocode/reverse_geocode?lat=48.70&lng=2.35&api_token=t").body,
            Json::object());
}

TEST_F(ReferenceServiceTest, CollectedPointsResolveThroughTheirCentreAndTheFilters) {
  Json points = Json::array();
  for (int i = 0; i < 10; ++i)
    points.push_back(point(48.85012 + 0.00001 * i, 2.35020, 8));
  points.push_back(point(48.8530, 2.3550, 8));   // a jump across the street
  points.push_back(point(48.9000, 2.4000, -1));  // no valid coordinate
  const std::string url = "/v1/geocode/reverse_geocode?api_token=t";
  EXPECT_EQ(post(url, {{"points", points}, {"device_id", "dev-1"}}).body["venue"]["id"], "cafe");
  EXPECT_EQ(post(url, {{"points", points}, {"filter", {{{"venue_category", "bakery"}}}}})
                .body["venue"]["id"],
            "bakery");
  EXPECT_EQ(post(url, {{"points", points}, {"filter", {{{"venue_name", "Bar"}}}}}).body,
            Json::object());
}

TEST_F(ReferenceServiceTest, VenueSearchByNameCategoryRadiusAndLimit) {
  const auto ids = [&](const std::string& query) {
    std::vector<std::string> found;
    const auto answer =
        call("GET", "/v1/search/venues?api_token=t&lat=48.85015&lng=2.3502" + query);
    EXPECT_EQ(answer.status, 200) << answer.bodyText();
    for (const auto& place : TRPlace::placesWithSearchJson(answer.body)) {
      found.push_back(place->venue->venueId.value_or("?"));
      EXPECT_EQ(place->venue->addressId, place->address->addressId);
    }
    return found;
  };
  EXPECT_THAT(ids("&radius=1000&limit=10&q=BOUL"), ElementsAre("bakery"));
  EXPECT_THAT(ids("&radius=1000&limit=10&category=food"), ElementsAre("cafe", "bakery"));
  EXPECT_THAT(ids("&radius=10&limit=10"), ElementsAre("cafe"));
  EXPECT_THAT(ids("&radius=5000&limit=1"), ElementsAre("cafe"));
  EXPECT_THAT(ids("&radius=5000&limit=10&q=caf%C3%A9%20lumi%C3%A8re"), ElementsAre("cafe"));
}

TEST_F(ReferenceServiceTest, LoggedVisitsGivePriorVisitsPeopleHomeAndWork) {
  const auto logVisit = [&](const Json& visit) {
    EXPECT_EQ(post("/v1/logging/visit?api_token=t", visit).status, 200) << visit.dump();
  };
  for (int day = 0; day < 5; ++day) {
    const double midnight = kMonday + day * 86400.0;
    // Paris is an hour ahead of UTC by its longitude: 21:00 UTC is 22:00 there.
    logVisit(visitLog("dev-1", "home", midnight - 3 * 3600, midnight + 6 * 3600, 48.84, 2.33));
    logVisit(visitLog("dev-1", "office", midnight + 7 * 3600, midnight + 16 * 3600, 48.86, 2.37));
  }
  logVisit(visitLog("dev-2", "cafe", kMonday + 12 * 3600, kMonday + 13 * 3600));

  const auto homeWork = call("GET", "/v1/visit-data/homework?device_id=dev-1&api_token=t");
  EXPECT_EQ(TRAddress::homeAddressWithJson(homeWork.body)->addressId, "a-home");
  EXPECT_EQ(TRAddress::workAddressWithJson(homeWork.body)->addressId, "a-7");
  EXPECT_EQ(call("GET", "/v1/visit-data/homework?device_id=dev-9&api_token=t").body,
            Json::object());

  const auto visits = TRVisit::visitsWithJson(
      call("GET", "/v1/visit-data/visits?device_id=dev-2&api_token=t").body);
  ASSERT_EQ(visits.size(), 1u);
  EXPECT_EQ(visits[0]->arrivalDate, Date(kMonday + 12 * 3600));
  EXPECT_EQ(visits[0]->departureDate, Date(kMonday + 13 * 3600));
  EXPECT_EQ(visits[0]->place->venue->name, "Café Lumière");

  EXPECT_EQ(call("GET", "/v1/venues/cafe/people?api_token=t").body,
            (Json{{"people", {{{"device_id", "dev-2"}}}}}));
  EXPECT_EQ(call("GET", "/v1/search/people/nearby?api_token=t&lat=48.8601&lng=2.3701").body,
            (Json{{"people", {{{"device_id", "dev-1"}}}}}));
  EXPECT_EQ(store->visits().size(), 11u);
}

TEST_F(ReferenceServiceTest, GeofencesUserDataRecordingsAndTheEventLog) {
  const auto all =
      post("/v1/venues/geofences?api_token=t",
           {{"lat", 48.85}, {"lng", 2.35}, {"filter", Json::array()}, {"device_id", "d"}});
  const auto fences = TRGeofence::geofencesWithJson(all.body);
  ASSERT_TRUE(fences.has_value());
  EXPECT_EQ(fences->size(), 4u);
  EXPECT_NEAR((*fences)[0]->center.latitude, 48.85015, 1e-9);
  const auto food =
      post("/v1/venues/geofences?api_token=t",
           {{"lat", 48.85}, {"lng", 2.35}, {"filter", {{{"venue_category", "food"}}}}});
  EXPECT_EQ(food.body.size(), 2u);

  const Json user = {
      {"device_id", "dev-1"},
      {"vendor_id", "V"},
      {"bundle_id", "app"},
      {"info", {{{"key", "name"}, {"value", "Ann"}}, {{"key", "age"}, {"value", 30}}}}};
  EXPECT_EQ(post("/v1/logging/userdata?api_token=t", user).status, 200);
  EXPECT_EQ(store->userValues("dev-1").size(), 2u);

  for (const Json& recording :
       {Json{{"session", "s1"}, {"locations", {point(48.85, 2.35, 5)}}},
        Json{{"session", "s1"}, {"visits", {{{"visit", {{"start_time", 1}}}}}}}})
    EXPECT_EQ(post("/wicked_smaht", recording).status, 200);
  EXPECT_EQ(call("GET", "/clam_chowdah/s1").body, (Json{{"locations", {point(48.85, 2.35, 5)}}}));
  EXPECT_EQ(store->recordedVisits("s1").size(), 1u);

  const auto logged = call("PUT", "https://log.example/dev1/12_30_05.json", R"("say \"hi\"")");
  EXPECT_EQ(logged.status, 200);
  EXPECT_THAT(store->events("dev1"),
              ElementsAre(std::pair<std::string, std::string>("12_30_05", "say \"hi\"")));
}

TEST_F(ReferenceServiceTest, TheReverseGeocodingFormatNamesThePlaceAndItsAddress) {
  const auto answer = call("GET", "/reverse?format=jsonv2&lat=48.85015&lon=2.35038");
  ASSERT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body["name"], "Café Lumière");
  EXPECT_EQ(answer.body["display_name"], "Café Lumière, 12 Rue Haute, 75004 Paris, France");
  EXPECT_EQ(answer.body["address"]["country_code"], "fr");
  EXPECT_EQ(answer.body["lat"], "48.8501500");
  EXPECT_EQ(call("GET", "/reverse?format=jsonv2&lat=10&lon=10").body["error"], "Unable to geocode");
  EXPECT_EQ(call("GET", "/reverse?format=xml&lat=10&lon=10").status, 400);
}

TEST_F(ReferenceServiceTest, RequestsItCannotUseAreRefusedAndStoreNothing) {
  const struct {
    const char* method;
    const char* url;
    std::string body;
    int status;
    const char* error;
  } cases[] = {
      {"GET", "/v1/geocode/reverse_geocode?lat=48.85&api_token=t", "", 400, "missing \"lng\""},
      {"GET", "/v1/geocode/reverse_geocode?lat=91&lng=2&api_token=t", "", 400, "\"lat\""},
      {"GET", "/v1/geocode/reverse_geocode?lat=4x&lng=2&api_token=t", "", 400, "\"lat\""},
      {"POST", "/v1/geocode/reverse_geocode?api_token=t", "{\"points\": []}", 400, "non-empty"},
      {"POST", "/v1/geocode/reverse_geocode?api_token=t", "[1]", 400, "JSON object"},
      {"POST", "/v1/geocode/reverse_geocode?api_token=t", "{\"points\": [{\"latitude\": 1}]}", 400,
       "\"longitude\""},
      {"GET", "/v1/search/venues?api_token=t&lat=1&lng=2&limit=2.5", "", 400, "whole number"},
      {"GET", "/v1/visit-data/visits?api_token=t", "", 400, "missing \"device_id\""},
      {"GET", "/v1/venues/nowhere/people?api_token=t", "", 400, "no venue"},
      {"POST", "/v1/logging/visit?api_token=t", "{\"start_time\": 5}", 400, "\"end_time\""},
      {"POST", "/v1/logging/visit?api_token=t", "{\"start_time\": 9, \"end_time\": 5}", 400,
       "before"},
      {"POST", "/v1/logging/visit?api_token=t",
       "{\"start_time\": 1, \"end_time\": 5, \"venue_id\": 7}", 400, "\"venue_id\""},
      {"POST", "/v1/logging/visit?api_token=t", "{\"start_time\": 1", 400, "not valid JSON"},
      {"POST", "/v1/logging/userdata?api_token=t",
       "{\"info\": [{\"key\": \"a\", \"value\": 1}, {\"value\": 2}]}", 400, "\"key\""},
      {"POST", "/v1/venues/geofences?api_token=t", "{\"lat\": 1, \"lng\": 2, \"filter\": {}}", 400,
       "\"filter\""},
      {"POST", "/wicked_smaht",
       "{\"session\": \"s\", \"locations\": [{\"latitude\": 1, \"longitude\": 2, \"timestamp\": "
       "3}, 5]}",
       400, "object"},
      {"POST", "/wicked_smaht", "{\"session\": \"s\"}", 400, "either"},
      {"PUT", "/dev/12_00_00.json", "{\"not\": \"a string\"}", 400, "JSON string"},
      {"GET", "/v1/search/venues?lat=1&lng=2", "", 401, "api_token"},
      {"GET", "/v1/search/venues?api_token=&lat=1&lng=2", "", 401, "api_token"},
      {"DELETE", "/v1/logging/visit?api_token=t", "", 405, "POST"},
      {"GET", "/v1/nothing?api_token=t", "", 404, "no such endpoint"},
      {"GET", "/v1/search/venues?api_token=t&lat=%zz", "", 400, "target"},
      {"GET", "relative/path", "", 400, "target"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.url);
    const auto answer = call(c.method, c.url, c.body);
    EXPECT_EQ(answer.status, c.status);
    EXPECT_THAT(answer.body["error"].get<std::string>(), HasSubstr(c.error));
  }
  EXPECT_TRUE(store->visits().empty());
  EXPECT_TRUE(store->userValues("").empty());
  EXPECT_TRUE(store->recordedLocations("s").empty());
  EXPECT_TRUE(store->events("dev").empty());
}

// A percent-escape may decode to bytes that are not UTF-8, and a refusal quotes them: the answer
// still goes out as JSON, with U+FFFD in their place, instead of throwing out of the responder.
TEST_F(ReferenceServiceTest, AnAnswerQuotingBytesThatAreNotUtf8GoesOutAsJson) {
  const auto answer = call("GET", "/v1/venues/%FF%C3/people?api_token=t");
  EXPECT_EQ(answer.status, 400);
  const auto response = ServiceResponder::responseFrom(answer);
  const Json sent = Json::parse(response.body.begin(), response.body.end());
  EXPECT_EQ(sent["error"], "no venue \"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(call("GET", "/v1/venues/caf%C3%A9/people?api_token=t").bodyText(),
            R"({"error":"no venue \"café\""})");
}

}  // namespace
}  // namespace trevalo::service
