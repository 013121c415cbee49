#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <nlohmann/json.hpp>

#include "support/PlatformTest.h"
#include "trevalo/model/TRFilter.h"
#include "trevalo/model/TRPlace.h"
#include "trevalo/model/TRSearchRequest.h"
#include "trevalo/networking/TRNetworkClient.h"
#include "trevalo/platform/Device.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/SimulatedPlatform.h"
#include "trevalo/vell/TRVellLocation.h"
#include "trevalo/visits/TRCachedVisit.h"

namespace trevalo {
namespace {

using platform::SimulatedHttpTransport;
using Filters = std::vector<std::shared_ptr<TRFilter>>;
using Client = const TRNetworkClient&;
using Done = TRNetworkClient::Completion;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
const std::string kDevice = "6D92078A-8246-4BA4-AE5B-76104861E7DC";

std::shared_ptr<TRFilter> filter(std::optional<std::string> category, double radius,
                                 std::optional<std::string> name = std::nullopt) {
  auto made = std::make_shared<TRFilter>();
  made->venueCategory = std::move(category);
  made->venueName = std::move(name);
  made->radius = radius;
  return made;
}

TRSearchRequest search(double latitude, double longitude, std::optional<std::string> query,
                       std::optional<std::string> category) {
  TRSearchRequest request;
  request.location = Location({latitude, longitude});
  request.query = std::move(query);
  request.category = std::move(category);
  return request;
}

// The client, with a token, on the simulated transport; completions are recorded.
class TRNetworkClientEndpointsTest : public testing::PlatformTest {
 protected:
  struct Completed {
    std::optional<Json> value;
    std::optional<Error> error;
    bool onRunLoop = false;
  };

  void SetUp() override {
    PlatformTest::SetUp();
    client.setApiKey("T0K3N");
  }

  Done record() {
    return [this](std::optional<Json> value, std::optional<Error> error) {
      calls.push_back({std::move(value), std::move(error), runLoop().isCurrent()});
    };
  }
  SimulatedHttpTransport& transport() const { return platform().simulatedHttpTransport(); }
  std::vector<platform::HttpRequest> sent() const { return transport().sentRequests(); }
  static std::string bodyText(const platform::HttpRequest& request) {
    return request.body ? std::string(request.body->begin(), request.body->end()) : "";
  }

  std::shared_ptr<TRVellLocation> vell(double latitude, double longitude, bool indoor) const {
    auto made = std::make_shared<TRVellLocation>(
        Location({latitude, longitude}, 12.0, 5.0, 3.0, 90.0, 1.5, now()));
    made->isIndoor = indoor;
    made->wifiName = "cafe";
    made->headingArray.push_back(platform::Heading{10.0, 11.0, 2.0, 1.0, 2.0, 3.0, now()});
    made->accelArray.push_back(platform::AccelerometerData{{0.1, 0.2, 0.3}, 1.0});
    return made;
  }

  TRNetworkClient client;
  std::vector<Completed> calls;
};

TEST_F(TRNetworkClientEndpointsTest, EachEndpointSendsItsExactRequest) {
  platform().advertisingIdentifierText().set(kDevice);
  platform().application().setBundleIdentifier("com.example.app");
  auto wide = search(0.1 + 0.2, 1e-7, "coffee shop", "");
  wide.radius = 250.5;
  wide.limit = 20;
  const auto outdoor = vell(51.5, -0.1278, false);
  const auto indoor = vell(51.5001, -0.1279, true);
  indoor->gyroArray.push_back(platform::GyroData{});
  const auto values = Json::parse(R"({"user_id":"u1","age":33,"tags":["a"],"ok":true})");
  const auto visitLog = Json::parse(R"({"venue_id":"v 1","start_time":1767225600000,"x":null})");
  const auto visit = TRCachedVisit::initWithResult(
      TRPlace::initWithDictionary(Json::parse(R"({"venue":{"id":"v1","name":"Cafe"}})")),
      Date(1767225600.5), true);
  visit->setEndDate(Date(1767229200.0));

  client.reverseGeocodeLocation(Location({51.5, -0.1278}), record());
  client.searchForVenues(search(40.0, -74.0, "", std::nullopt), record());
  client.searchForVenues(wide, record());
  client.searchForVenues(search(1.0, 2.0, "fish & chips=#1", "Caf\u00e9 100%"), record());
  client.getPeopleAtVenue("4b5e_a-1.x~", record());
  client.getPeopleNearby({-33.8688, 151.2093}, record());
  client.getPriorVisitsDeviceId(kDevice, record());
  client.getHomeWork(kDevice, record());
  client.fetchLocationsFromTracemoor("Ann_s_phone-2016-03-05-2", Date(0), Date(1), {});
  client.sendLastLocations({outdoor, nullptr, indoor},
                           Filters{filter("food", 0.0), filter("bar", 50.0)}, record());
  client.updateUserValues(values, record());
  client.logVenue(visitLog, record());
  // Every filter is sent, whatever its radius: the geofence manager has chosen them.
  client.getGeofences({51.5, -0.125}, {filter("food", 100.0), nullptr, filter("", 5.0)}, record());
  client.sendLocations({outdoor, nullptr, indoor}, "dev-2016-03-05-0", record());
  client.sendVisitToTracemoor(visit, "dev-2016-03-05-1", record());
  client.sendFireBase("say \"hi\" caf\u00e9\n", "2016-03-05 12:30:05", "my device", record());

  Json points = {
      {"points", {outdoor->dictionaryRepresentation(), indoor->dictionaryRepresentation()}}};
  points["device_id"] = kDevice;
  points["bundle_id"] = "com.example.app";
  points["filter"] = Json::parse(R"([{"venue_category":"food"}])");
  const Json locations = {{"session", "dev-2016-03-05-0"},
                          {"locations",
                           {outdoor->dictionaryRepresentationForTracemoor(),
                            indoor->dictionaryRepresentationForTracemoor()}}};
  const Json visits = {{"session", "dev-2016-03-05-1"},
                       {"visits", Json::array({{{"visit", visit->dictionaryRepresentation()}}})}};

  // Identifiers the device does not have are left out.
  platform().advertisingIdentifierText().set(std::nullopt);
  platform().device().overrideIdentifierForVendor(std::nullopt);
  platform().application().setBundleIdentifier(std::nullopt);
  client.sendLastLocations({}, std::nullopt, record());
  client.getGeofences({-1.0, 2.0}, {filter(std::nullopt, 1.0, "Joe")}, record());

  // The message as a JSON string, its UTF-8 kept as it is.
  const std::string logged = R"("say \"hi\" caf)" + std::string("\u00e9") + R"(\n")";
  const std::string api = "https://api.trevalo.io/v1/";
  const std::string recording = "https://recording.trevalo.io/";
  const struct {
    std::string method;
    std::string url;
    std::string body;
  } expected[] = {
      {"GET", api + "geocode/reverse_geocode?lat=51.5&lng=-0.1278&api_token=T0K3N", ""},
      {"GET", api + "search/venues?api_token=T0K3N&lat=40&lng=-74&radius=1000&limit=1000", ""},
      // The shortest text that reads back to the same double.
      {"GET",
       api + "search/venues?api_token=T0K3N&lat=0.30000000000000004&lng=1e-07&radius=250.5"
             "&limit=20&q=coffee%20shop",
       ""},
      // Characters legal in a query stay; everything else is encoded as UTF-8.
      {"GET",
       api + "search/venues?api_token=T0K3N&lat=1&lng=2&radius=1000&limit=1000"
             "&q=fish%20&%20chips=%231&category=Caf%C3%A9%20100%25",
       ""},
      {"GET", "https://people.trevalo.io/v1/venues/4b5e_a-1.x~/people?api_token=T0K3N", ""},
      {"GET", api + "search/people/nearby?api_token=T0K3N&lat=-33.8688&lng=151.2093", ""},
      {"GET", api + "visit-data/visits?device_id=" + kDevice + "&api_token=T0K3N", ""},
      {"GET", api + "visit-data/homework?device_id=" + kDevice + "&api_token=T0K3N", ""},
      {"GET", recording + "clam_chowdah/Ann_s_phone-2016-03-05-2", ""},
      {"POST", api + "geocode/reverse_geocode?api_token=T0K3N", points.dump()},
      {"POST", api + "logging/userdata?api_token=T0K3N", values.dump()},
      {"POST", api + "logging/visit?api_token=T0K3N", visitLog.dump()},
      {"POST", api + "venues/geofences?api_token=T0K3N",
       R"({"lat":51.5,"lng":-0.125,"filter":[{"venue_category":"food"},{"venue_category":""}],)"
       R"("device_id":")" +
           kDevice + "\"}"},
      {"POST", recording + "wicked_smaht", locations.dump()},
      {"POST", recording + "wicked_smaht", visits.dump()},
      {"PUT", "https://events.trevalo.io/my%20device/2016-03-05%2012_30_05.json", logged},
      {"POST", api + "geocode/reverse_geocode?api_token=T0K3N", R"({"points":[]})"},
      {"POST", api + "venues/geofences?api_token=T0K3N",
       R"({"lat":-1.0,"lng":2.0,"filter":[{"venue_name":"Joe"}]})"}};
  const auto requests = sent();
  ASSERT_EQ(requests.size(), std::size(expected));
  for (std::size_t i = 0; i < requests.size(); ++i) {
    SCOPED_TRACE(expected[i].url);
    EXPECT_EQ(requests[i].httpMethod, expected[i].method);
    EXPECT_EQ(requests[i].url, expected[i].url);
    EXPECT_EQ(bodyText(requests[i]), expected[i].body);
    EXPECT_EQ(requests[i].body.has_value(), expected[i].method != "GET");
    EXPECT_EQ(requests[i].timeoutInterval, 40.0);
    EXPECT_EQ(requests[i].headers.valueForField("Content-Type"),
              requests[i].body ? std::optional<std::string>("application/json") : std::nullopt);
  }
}

TEST_F(TRNetworkClientEndpointsTest, CollectedPointsKeepOnlyFiltersWithoutARadius) {
  const struct {
    std::optional<Filters> filters;
    std::optional<std::string> expected;  // the "filter" member dumped; nothing: no member
  } cases[] = {
      {std::nullopt, std::nullopt},
      {Filters{}, std::nullopt},
      {Filters{filter("a", 100.0), filter("b", 0.001), filter("c", kNaN), nullptr}, "[]"},
      {Filters{filter(" food ", 0.0, "Joe's"), filter("far", 1.0),
               filter(std::nullopt, 0.0009, "Cafe")},
       R"([{"venue_category":"food","venue_name":"Joe's"},{"venue_name":"Cafe"}])"},
  };
  for (const auto& c : cases) {
    client.sendLastLocations({vell(1.0, 2.0, true)}, c.filters, record());
    const Json body = Json::parse(bodyText(sent().back()));
    EXPECT_EQ(body.contains("filter") ? std::optional(body["filter"].dump()) : std::nullopt,
              c.expected)
        << c.filters.value_or(Filters{}).size() << " filters";
  }
}

TEST_F(TRNetworkClientEndpointsTest, WithoutATokenTheServiceEndpointsRaiseBeforeSending) {
  client.setApiKey("");
  EXPECT_THROW(client.sendLastLocations({}, std::nullopt, record()), Exception);
  EXPECT_THROW(client.logVenue(Json::object(), record()), Exception);
  EXPECT_THROW(client.getHomeWork("d", record()), Exception);
  runUntilIdle();
  EXPECT_EQ(transport().sentCount(), 0u);
  EXPECT_TRUE(calls.empty());
}

TEST_F(TRNetworkClientEndpointsTest, RecordedLocationsLieStrictlyInsideTheWindowAndNeverFail) {
  const struct {
    SimulatedHttpTransport::Answer answer;
    std::vector<double> kept;  // timestamps
  } cases[] = {
      {SimulatedHttpTransport::response(200, R"({"locations":[{"timestamp":100,"latitude":1},
          {"timestamp":150,"latitude":2},{"timestamp":199.5},{"timestamp":200},
          {"timestamp":"150"},{"latitude":3},7,null,{"timestamp":100.0000001}]})"),
       {150.0, 199.5, 100.0000001}},
      {SimulatedHttpTransport::response(200, R"({"locations":{}})"), {}},
      {SimulatedHttpTransport::response(200), {}},
      {SimulatedHttpTransport::response(500, R"({"locations":[{"timestamp":150}]})"), {}},
      {Error("transport", 7), {}},
  };
  for (const auto& c : cases) {
    std::vector<std::vector<double>> results;
    client.fetchLocationsFromTracemoor(
        "s1", Date(100.0), Date(200.0), [&](std::vector<Location> found, std::optional<Error> e) {
          EXPECT_FALSE(e);
          EXPECT_TRUE(runLoop().isCurrent());
          results.emplace_back();
          for (const auto& location : found)
            results.back().push_back(location.timestamp().timeIntervalSince1970());
        });
    transport().respondToNext(c.answer);
    runUntilIdle();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], c.kept);
  }
}

// Each would make no valid URL, or one that leads to another path or resource.
std::vector<std::pair<std::string, std::function<void(Client, Done)>>> refusals() {
  std::vector<std::pair<std::string, std::function<void(Client, Done)>>> cases = {
      {"GeocodeNaN",
       [](Client c, Done d) {
         c.reverseGeocodeLocation(Location({kNaN, 1.0}), d);
       }},
      {"NearbyInfinity",
       [](Client c, Done d) {
         c.getPeopleNearby({1.0, -kInfinity}, d);
       }},
      {"GeofencesNaN",
       [](Client c, Done d) {
         c.getGeofences({1.0, kNaN}, {}, d);
       }},
      {"SearchNaN", [](Client c, Done d) { c.searchForVenues(search(kNaN, 1.0, "", ""), d); }},
      {"SearchRadiusInfinity",
       [](Client c, Done d) {
         auto request = search(1.0, 1.0, "", "");
         request.radius = kInfinity;
         c.searchForVenues(request, d);
       }},
      {"SearchWithoutLocation", [](Client c, Done d) { c.searchForVenues({}, d); }},
      {"PointsNotUtf8",
       [](Client c, Done d) {
         auto point = std::make_shared<TRVellLocation>(Location({1.0, 2.0}));
         point->wifiName = "caf\xE9";  // a Latin-1 network name
         c.sendLastLocations({point}, std::nullopt, d);
       }},
      {"VisitLogNotUtf8",
       [](Client c, Done d) {
         c.logVenue({{"name", "\xFF"}}, d);
       }},
      {"LocationsWithoutSession", [](Client c, Done d) { c.sendLocations({}, "", d); }},
      {"VisitWithoutVisit", [](Client c, Done d) { c.sendVisitToTracemoor(nullptr, "s", d); }},
      {"EventLogDeviceSlash", [](Client c, Done d) { c.sendFireBase("m", "1:0", "a/b", d); }},
      {"EventLogDeviceEmpty", [](Client c, Done d) { c.sendFireBase("m", "1:0", "", d); }},
      {"EventLogTimeQuery", [](Client c, Done d) { c.sendFireBase("m", "1?x", "d", d); }},
      {"EventLogMessageNotUtf8", [](Client c, Done d) { c.sendFireBase("\xC3", "1", "d", d); }},
      {"RecordedLocationsSession",
       [](Client c, Done d) {
         c.fetchLocationsFromTracemoor("../x", Date(0), Date(1), [d](auto list, auto error) {
           EXPECT_TRUE(list.empty());
           d(std::nullopt, error);
         });
       }},
  };
  for (const std::string id :
       {"", "..", "v/1", "v?x=1", "v#1", "v%2F1", "v 1", "v&x=1", "v\n1", "caf\u00e9"}) {
    cases.emplace_back("Venue " + id, [id](Client c, Done d) { c.getPeopleAtVenue(id, d); });
    cases.emplace_back("PriorVisits " + id,
                       [id](Client c, Done d) { c.getPriorVisitsDeviceId(id, d); });
    cases.emplace_back("HomeWork " + id, [id](Client c, Done d) { c.getHomeWork(id, d); });
  }
  return cases;
}

TEST_F(TRNetworkClientEndpointsTest, RefusedArgumentsCompleteWithAnErrorOnTheRunLoopOnly) {
  for (const auto& [name, call] : refusals()) {
    SCOPED_TRACE(name);
    calls.clear();
    call(client, record());
    EXPECT_TRUE(calls.empty()) << "completed inside the call";
    runUntilIdle();
    EXPECT_EQ(transport().sentCount(), 0u);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0].value);
    ASSERT_TRUE(calls[0].error);
    EXPECT_EQ(calls[0].error->domain(), TRNetworkClient::kErrorDomain);
    EXPECT_EQ(calls[0].error->code(), TRNetworkClient::kInvalidRequestErrorCode);
    EXPECT_TRUE(calls[0].onRunLoop);
  }
}

}  // namespace
}  // namespace trevalo
