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
using Call = std::function<void(const TRNetworkClient&, TRNetworkClient::Completion)>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr const char* kDevice = "6D92078A-8246-4BA4-AE5B-76104861E7DC";

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

  TRNetworkClient::Completion record() {
    return [this](std::optional<Json> value, std::optional<Error> error) {
      calls.push_back({std::move(value), std::move(error), runLoop().isCurrent()});
    };
  }
  SimulatedHttpTransport& transport() const { return platform().simulatedHttpTransport(); }
  std::vector<platform::HttpRequest> sent() const { return transport().sentRequests(); }
  platform::HttpRequest onlyRequest() const {
    const auto requests = sent();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? platform::HttpRequest{} : requests.back();
  }
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

  void withoutDeviceIdentifiers() const {
    platform().advertisingIdentifierText().set(std::nullopt);
    platform().device().overrideIdentifierForVendor(std::nullopt);
    platform().application().setBundleIdentifier(std::nullopt);
  }

  TRNetworkClient client;
  std::vector<Completed> calls;
};

TEST_F(TRNetworkClientEndpointsTest, CollectedPointsRequestCarriesPointsIdentifiersAndFilters) {
  platform().advertisingIdentifierText().set(kDevice);
  platform().application().setBundleIdentifier("com.example.app");
  const auto outdoor = vell(51.5, -0.1278, false);
  const auto indoor = vell(51.5001, -0.1279, true);

  client.sendLastLocations({outdoor, nullptr, indoor},
                           Filters{filter("food", 0.0), filter("bar", 50.0)}, record());

  const auto request = onlyRequest();
  EXPECT_EQ(request.url, "https://api.trevalo.io/v1/geocode/reverse_geocode?api_token=T0K3N");
  EXPECT_EQ(request.httpMethod, "POST");
  EXPECT_EQ(request.headers.valueForField("Content-Type"), "application/json");
  Json expected = Json::object();
  expected["points"] = {outdoor->dictionaryRepresentation(), indoor->dictionaryRepresentation()};
  expected["device_id"] = kDevice;
  expected["bundle_id"] = "com.example.app";
  expected["filter"] = Json::parse(R"([{"venue_category":"food"}])");
  EXPECT_EQ(bodyText(request), expected.dump());
  EXPECT_EQ(request.headers.valueForField("Content-Length"),
            std::to_string(expected.dump().size()));

  transport().respondToNext(SimulatedHttpTransport::response(200, R"({"venue":{"id":"v1"}})"));
  EXPECT_TRUE(calls.empty());
  runUntilIdle();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].value, Json::parse(R"({"venue":{"id":"v1"}})"));
  EXPECT_TRUE(calls[0].onRunLoop);

  withoutDeviceIdentifiers();
  client.sendLastLocations({}, std::nullopt, record());
  EXPECT_EQ(bodyText(sent().back()), R"({"points":[]})");
}

struct FilterCase {
  const char* name;
  std::optional<Filters> filters;
  std::optional<std::string> expected;  // the "filter" member dumped; nothing: no member
};

class CollectedPointsFilterTest : public TRNetworkClientEndpointsTest,
                                  public ::testing::WithParamInterface<FilterCase> {};

TEST_P(CollectedPointsFilterTest, KeepsOnlyFiltersWithoutARadius) {
  client.sendLastLocations({vell(1.0, 2.0, true)}, GetParam().filters, record());
  const Json body = Json::parse(bodyText(onlyRequest()));
  EXPECT_EQ(body.contains("filter") ? std::optional(body["filter"].dump()) : std::nullopt,
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, CollectedPointsFilterTest,
    ::testing::Values(
        FilterCase{"Absent", std::nullopt, std::nullopt},
        FilterCase{"Empty", Filters{}, std::nullopt},
        FilterCase{"NoneKept",
                   Filters{filter("a", 100.0), filter("b", 0.001), filter("c", kNaN), nullptr},
                   "[]"},
        FilterCase{"ConvertedInOrder",
                   Filters{filter(" food ", 0.0, "Joe's"), filter("far", 1.0),
                           filter(std::nullopt, 0.0009, "Cafe")},
                   R"([{"venue_category":"food","venue_name":"Joe's"},{"venue_name":"Cafe"}])"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TRNetworkClientEndpointsTest, UserValuesAndVisitLogsAreSentAsGiven) {
  const auto values = Json::parse(R"({"user_id":"u1","age":33,"tags":["a"],"ok":true})");
  const auto visit = Json::parse(R"({"venue_id":"v 1","start_time":1767225600000,"x":null})");
  client.updateUserValues(values, record());
  client.logVenue(visit, record());
  const auto requests = sent();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].url, "https://api.trevalo.io/v1/logging/userdata?api_token=T0K3N");
  EXPECT_EQ(requests[0].httpMethod, "POST");
  EXPECT_EQ(bodyText(requests[0]), values.dump());
  EXPECT_EQ(requests[1].url, "https://api.trevalo.io/v1/logging/visit?api_token=T0K3N");
  EXPECT_EQ(requests[1].httpMethod, "POST");
  EXPECT_EQ(bodyText(requests[1]), visit.dump());
}

TEST_F(TRNetworkClientEndpointsTest, WithoutATokenTheServiceEndpointsRaise) {
  client.setApiKey("");
  EXPECT_THROW(client.sendLastLocations({}, std::nullopt, record()), Exception);
  EXPECT_THROW(client.logVenue(Json::object(), record()), Exception);
  EXPECT_THROW(client.getHomeWork("d", record()), Exception);
  runUntilIdle();
  EXPECT_EQ(transport().sentCount(), 0u);
  EXPECT_TRUE(calls.empty());
}

struct GetCase {
  const char* name;
  Call call;
  std::string url;
};

class EndpointGetTest : public TRNetworkClientEndpointsTest,
                        public ::testing::WithParamInterface<GetCase> {};

TEST_P(EndpointGetTest, SendsTheDocumentedUrl) {
  GetParam().call(client, record());
  const auto request = onlyRequest();
  EXPECT_EQ(request.url, GetParam().url);
  EXPECT_EQ(request.httpMethod, "GET");
  EXPECT_FALSE(request.body);
  EXPECT_EQ(request.timeoutInterval, 40.0);
}

INSTANTIATE_TEST_SUITE_P(
    Endpoints, EndpointGetTest,
    ::testing::Values(
        GetCase{"ReverseGeocode",
                [](const auto& c, auto done) {
                  c.reverseGeocodeLocation(Location({51.5, -0.1278}), done);
                },
                "https://api.trevalo.io/v1/geocode/reverse_geocode?lat=51.5&lng=-0.1278&api_token="
                "T0K3N"},
        GetCase{"SearchWithoutQueryOrCategory",
                [](const auto& c, auto done) {
                  c.searchForVenues(search(40.0, -74.0, "", std::nullopt), done);
                },
                "https://api.trevalo.io/v1/search/venues?api_token=T0K3N&lat=40&lng=-74&radius="
                "1000&limit=1000"},
        GetCase{"SearchWithTwoWords",
                [](const auto& c, auto done) {
                  auto request = search(0.1 + 0.2, 1e-7, "coffee shop", "");
                  request.radius = 250.5;
                  request.limit = 20;
                  c.searchForVenues(request, done);
                },
                "https://api.trevalo.io/v1/search/venues?api_token=T0K3N&lat=0.30000000000000004"
                "&lng=1e-07&radius=250.5&limit=20&q=coffee%20shop"},
        GetCase{"SearchEncodesAllButQueryCharacters",
                [](const auto& c, auto done) {
                  c.searchForVenues(search(1.0, 2.0, "fish & chips=#1", "Caf\u00e9 100%"), done);
                },
                "https://api.trevalo.io/v1/search/venues?api_token=T0K3N&lat=1&lng=2&radius=1000"
                "&limit=1000&q=fish%20&%20chips=%231&category=Caf%C3%A9%20100%25"},
        GetCase{"PeopleAtVenue",
                [](const auto& c, auto done) { c.getPeopleAtVenue("4b5e_a-1.x~", done); },
                "https://people.trevalo.io/v1/venues/4b5e_a-1.x~/people?api_token=T0K3N"},
        GetCase{"PeopleNearby",
                [](const auto& c, auto done) {
                  c.getPeopleNearby({-33.8688, 151.2093}, done);
                },
                "https://api.trevalo.io/v1/search/people/nearby?api_token=T0K3N&lat=-33.8688&lng="
                "151.2093"},
        GetCase{"PriorVisits",
                [](const auto& c, auto done) { c.getPriorVisitsDeviceId(kDevice, done); },
                std::string("https://api.trevalo.io/v1/visit-data/visits?device_id=") + kDevice +
                    "&api_token=T0K3N"},
        GetCase{"HomeWork", [](const auto& c, auto done) { c.getHomeWork(kDevice, done); },
                std::string("https://api.trevalo.io/v1/visit-data/homework?device_id=") + kDevice +
                    "&api_token=T0K3N"},
        GetCase{"RecordedLocations",
                [](const auto& c, auto) {
                  c.fetchLocationsFromTracemoor("Ann_s_phone-2016-03-05-2", Date(0), Date(1), {});
                },
                "https://recording.trevalo.io/clam_chowdah/Ann_s_phone-2016-03-05-2"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TRNetworkClientEndpointsTest, GeofenceRequestAlwaysCarriesItsFilters) {
  platform().advertisingIdentifierText().set(kDevice);
  client.getGeofences({51.5, -0.125}, {}, record());
  // Every filter is sent, whatever its radius: the geofence manager has chosen them.
  client.getGeofences({51.5, -0.125}, {filter("food", 100.0), nullptr, filter("", 5.0)}, record());
  withoutDeviceIdentifiers();
  client.getGeofences({-1.0, 2.0}, {filter(std::nullopt, 1.0, "Joe")}, record());

  const auto requests = sent();
  ASSERT_EQ(requests.size(), 3u);
  for (const auto& request : requests) {
    EXPECT_EQ(request.url, "https://api.trevalo.io/v1/venues/geofences?api_token=T0K3N");
    EXPECT_EQ(request.httpMethod, "POST");
  }
  const std::string device = std::string(R"("device_id":")") + kDevice + "\"}";
  EXPECT_EQ(bodyText(requests[0]), R"({"lat":51.5,"lng":-0.125,"filter":[],)" + device);
  EXPECT_EQ(bodyText(requests[1]),
            R"({"lat":51.5,"lng":-0.125,"filter":[{"venue_category":"food"},)"
            R"({"venue_category":""}],)" +
                device);
  EXPECT_EQ(bodyText(requests[2]), R"({"lat":-1.0,"lng":2.0,"filter":[{"venue_name":"Joe"}]})");
}

TEST_F(TRNetworkClientEndpointsTest, RecordingUploadsNameTheirSession) {
  const auto first = vell(1.0, 2.0, true);
  first->gyroArray.push_back(platform::GyroData{});
  const auto second = vell(1.5, 2.5, false);
  client.sendLocations({first, nullptr, second}, "dev-2016-03-05-0", record());
  auto visit = TRCachedVisit::initWithResult(
      TRPlace::initWithDictionary(Json::parse(R"({"venue":{"id":"v1","name":"Cafe"}})")),
      Date(1767225600.5), true);
  visit->setEndDate(Date(1767229200.0));
  client.sendVisitToTracemoor(visit, "dev-2016-03-05-1", record());

  const auto requests = sent();
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& request : requests) {
    EXPECT_EQ(request.url, "https://recording.trevalo.io/wicked_smaht");
    EXPECT_EQ(request.httpMethod, "POST");
  }
  Json locations = {{"session", "dev-2016-03-05-0"},
                    {"locations",
                     {first->dictionaryRepresentationForTracemoor(),
                      second->dictionaryRepresentationForTracemoor()}}};
  EXPECT_EQ(bodyText(requests[0]), locations.dump());
  Json visits = {{"session", "dev-2016-03-05-1"},
                 {"visits", Json::array({{{"visit", visit->dictionaryRepresentation()}}})}};
  EXPECT_EQ(bodyText(requests[1]), visits.dump());
}

TEST_F(TRNetworkClientEndpointsTest, EventLogWriteNeedsNoTokenAndSendsTheMessageAsAJsonString) {
  client.setApiKey("");
  client.sendFireBase("say \"hi\"\n", "12:30:05", "dev1", record());
  client.sendFireBase("caf\u00e9", "2016-03-05 12:30:05", "my device", record());

  const auto requests = sent();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].url, "https://events.trevalo.io/dev1/12_30_05.json");
  EXPECT_EQ(requests[0].httpMethod, "PUT");
  EXPECT_EQ(requests[0].headers.valueForField("Content-Type"), "application/json");
  EXPECT_EQ(bodyText(requests[0]), R"("say \"hi\"\n")");
  EXPECT_EQ(requests[1].url, "https://events.trevalo.io/my%20device/2016-03-05%2012_30_05.json");
  EXPECT_EQ(bodyText(requests[1]), "\"caf\u00e9\"");
}

struct RecordedAnswer {
  const char* name;
  SimulatedHttpTransport::Answer answer;
  std::vector<double> kept;  // timestamps
};

class RecordedLocationsTest : public TRNetworkClientEndpointsTest,
                              public ::testing::WithParamInterface<RecordedAnswer> {};

TEST_P(RecordedLocationsTest, KeepsWhatLiesStrictlyInsideTheWindowAndNeverFails) {
  std::vector<std::vector<double>> results;
  client.fetchLocationsFromTracemoor(
      "s1", Date(100.0), Date(200.0), [&](std::vector<Location> locations, std::optional<Error> e) {
        EXPECT_FALSE(e);
        EXPECT_TRUE(runLoop().isCurrent());
        results.emplace_back();
        for (const auto& location : locations)
          results.back().push_back(location.timestamp().timeIntervalSince1970());
      });
  transport().respondToNext(GetParam().answer);
  runUntilIdle();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0], GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RecordedLocationsTest,
    ::testing::Values(
        RecordedAnswer{
            "Window",
            SimulatedHttpTransport::response(200, R"({"locations":[{"timestamp":100,"latitude":1},
                                    {"timestamp":150,"latitude":2},{"timestamp":199.5},
                                    {"timestamp":200},{"timestamp":"150"},{"latitude":3},
                                    7,null,{"timestamp":100.0000001}]})"),
            {150.0, 199.5, 100.0000001}},
        RecordedAnswer{"NoList", SimulatedHttpTransport::response(200, R"({"locations":{}})"), {}},
        RecordedAnswer{"EmptyBody", SimulatedHttpTransport::response(200), {}},
        RecordedAnswer{
            "ServerError",
            SimulatedHttpTransport::response(500, R"({"locations":[{"timestamp":150}]})"),
            {}},
        RecordedAnswer{"TransportError", Error("transport", 7), {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusalCase {
  std::string name;
  Call call;
};

class EndpointRefusalTest : public TRNetworkClientEndpointsTest,
                            public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(EndpointRefusalTest, CompletesWithAnErrorOnTheRunLoopAndSendsNothing) {
  GetParam().call(client, record());
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

std::vector<RefusalCase> refusals() {
  std::vector<RefusalCase> cases = {
      {"GeocodeNaN",
       [](const auto& c, auto done) {
         c.reverseGeocodeLocation(Location({kNaN, 1.0}), done);
       }},
      {"NearbyInfinity",
       [](const auto& c, auto done) {
         c.getPeopleNearby({1.0, -kInfinity}, done);
       }},
      {"GeofencesNaN",
       [](const auto& c, auto done) {
         c.getGeofences({1.0, kNaN}, {}, done);
       }},
      {"SearchNaN",
       [](const auto& c, auto done) { c.searchForVenues(search(kNaN, 1.0, "", ""), done); }},
      {"SearchRadiusInfinity",
       [](const auto& c, auto done) {
         auto request = search(1.0, 1.0, "", "");
         request.radius = kInfinity;
         c.searchForVenues(request, done);
       }},
      {"SearchWithoutLocation", [](const auto& c, auto done) { c.searchForVenues({}, done); }},
      {"PointsNotUtf8",
       [](const auto& c, auto done) {
         auto point = std::make_shared<TRVellLocation>(Location({1.0, 2.0}));
         point->wifiName = "caf\xE9";  // a Latin-1 network name
         c.sendLastLocations({point}, std::nullopt, done);
       }},
      {"VisitLogNotUtf8",
       [](const auto& c, auto done) {
         c.logVenue({{"name", "\xFF"}}, done);
       }},
      {"LocationsWithoutSession", [](const auto& c, auto done) { c.sendLocations({}, "", done); }},
      {"VisitWithoutVisit",
       [](const auto& c, auto done) { c.sendVisitToTracemoor(nullptr, "s", done); }},
      {"EventLogDeviceSlash",
       [](const auto& c, auto done) { c.sendFireBase("m", "1:0", "a/b", done); }},
      {"EventLogDeviceEmpty",
       [](const auto& c, auto done) { c.sendFireBase("m", "1:0", "", done); }},
      {"EventLogTimeQuery",
       [](const auto& c, auto done) { c.sendFireBase("m", "1?x", "d", done); }},
      {"EventLogMessageNotUtf8",
       [](const auto& c, auto done) { c.sendFireBase("\xC3", "1", "d", done); }},
      {"RecordedLocationsSession",
       [](const auto& c, auto done) {
         c.fetchLocationsFromTracemoor("../x", Date(0), Date(1), [done](auto list, auto error) {
           EXPECT_TRUE(list.empty());
           done(std::nullopt, error);
         });
       }},
  };
  // Each would make no valid URL, or one that leads to another path or resource.
  const std::pair<const char*, std::string> identifiers[] = {
      {"Empty", ""},       {"DotDot", ".."},         {"Slash", "v/1"}, {"Query", "v?x=1"},
      {"Fragment", "v#1"}, {"Percent", "v%2F1"},     {"Space", "v 1"}, {"Ampersand", "v&x=1"},
      {"Control", "v\n1"}, {"NonAscii", "caf\u00e9"}};
  for (const auto& identifier : identifiers) {
    const std::string id = identifier.second;
    const std::string kind = identifier.first;
    cases.push_back(
        {"Venue" + kind, [id](const auto& c, auto done) { c.getPeopleAtVenue(id, done); }});
    cases.push_back({"PriorVisits" + kind,
                     [id](const auto& c, auto done) { c.getPriorVisitsDeviceId(id, done); }});
    cases.push_back(
        {"HomeWork" + kind, [id](const auto& c, auto done) { c.getHomeWork(id, done); }});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Arguments, EndpointRefusalTest, ::testing::ValuesIn(refusals()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace trevalo
