#include "networking/TRNetworkClient.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>

#include "model/TRCachedVisit.h"
#include "networking/SessionRequestBuilder.h"
#include "support/PlatformTest.h"
#include "trevalo/model/TRFilter.h"
#include "trevalo/model/TRPlace.h"
#include "trevalo/model/TRSearchRequest.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"
#include "vell/TRVellLocation.h"

namespace trevalo {
namespace {

using platform::HttpRequest;
using platform::HttpTransport;
using platform::SimulatedHttpTransport;
using Filters = std::vector<std::shared_ptr<TRFilter>>;
using Client = const TRNetworkClient&;
using Done = TRNetworkClient::Completion;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const std::string kDevice = "6D92078A-82";

std::shared_ptr<TRFilter> filter(std::optional<std::string> category, double radius,
                                 std::optional<std::string> name = std::nullopt) {
  auto made = std::make_shared<TRFilter>();
  made->venueCategory = std::move(category);
  made->venueName = std::move(name);
  made->radius = radius;
  return made;
}

std::string bodyText(const HttpRequest& request) {
  return request.body ? std::string(request.body->begin(), request.body->end()) : "";
}

// The client, with a token, on the simulated transport; completions are recorded.
class TRNetworkClientTest : public testing::PlatformTest {
 protected:
  struct Completed {
    std::optional<Json> value;
    std::optional<Error> error;
    bool onRunLoop = false;
    bool operator==(const Completed&) const = default;
  };

  TRNetworkClientTest() { client.setApiKey("T0K3N"); }
  Done record() {
    return [this](std::optional<Json> value, std::optional<Error> error) {
      calls.push_back({std::move(value), std::move(error), runLoop().isCurrent()});
    };
  }
  static HttpRequest get(const std::string& url) {
    return SessionRequestBuilder::instance()->getRequestWithUrl(url, "GET");
  }
  SimulatedHttpTransport& transport() const { return platform().simulatedHttpTransport(); }

  TRNetworkClient client;
  std::vector<Completed> calls;
};

TEST_F(TRNetworkClientTest, EachEndpointSendsItsExactRequest) {
  platform().advertisingIdentifierText().set(kDevice);
  platform().application().setBundleIdentifier("com.example.app");
  TRSearchRequest venues;
  venues.location = Location({0.1 + 0.2, 1e-7});
  venues.query = "fish & chips=#1";
  venues.category = "Caf\u00e9 100%";
  venues.limit = 20;
  const auto point =
      std::make_shared<TRVellLocation>(Location({51.5, -0.1278}, 12.0, 5.0, 3.0, 90.0, 1.5, now()));
  const auto values = Json::parse(R"({"user_id":"u1","tags":["a"]})");
  const auto visitLog = Json::parse(R"({"venue_id":"v 1","x":null})");
  const auto visit = TRCachedVisit::initWithResult(
      TRPlace::initWithDictionary(Json::parse(R"({"venue":{"id":"v1","name":"Cafe"}})")),
      Date(1767225600.5), true);

  client.reverseGeocodeLocation(Location({51.5, -0.1278}), record());
  client.searchForVenues(venues, record());
  client.getPeopleAtVenue("4b5e_a-1.x~", record());
  client.getPeopleNearby({-33.8688, 151.2093}, record());
  client.getPriorVisitsDeviceId(kDevice, record());
  client.getHomeWork(kDevice, record());
  client.fetchLocationsFromTracemoor("Ann_s_phone-2016-03-05-2", Date(0), Date(1), {});
  // Only filters without a radius are kept for collected points.
  client.sendLastLocations(
      {point, nullptr},
      Filters{filter(" food ", 0.0, "Joe's"), filter("far", 0.001), filter("c", kNaN), nullptr,
              filter(std::nullopt, 0.0009, "Cafe")},
      record());
  client.updateUserValues(values, record());
  client.logVenue(visitLog, record());
  // Every filter is sent, whatever its radius: the geofence manager has chosen them.
  client.getGeofences({51.5, -0.125}, {filter("food", 100.0), nullptr, filter("", 5.0)}, record());
  client.sendLocations({point, nullptr}, "dev-2016-03-05-0", record());
  client.sendVisitToTracemoor(visit, "dev-2016-03-05-1", record());
  client.sendFireBase("say \"hi\" caf\u00e9\n", "2016-03-05 12:30:05", "my device", record());

  const Json points = {{"points", Json::array({point->dictionaryRepresentation()})},
                       {"device_id", kDevice},
                       {"bundle_id", "com.example.app"},
                       {"filter", Json::parse(R"([{"venue_category":"food","venue_name":"Joe's"},
                                                   {"venue_name":"Cafe"}])")}};
  const Json locations = {
      {"session", "dev-2016-03-05-0"},
      {"locations", Json::array({point->dictionaryRepresentationForTracemoor()})}};
  const Json visits = {{"session", "dev-2016-03-05-1"},
                       {"visits", Json::array({{{"visit", visit->dictionaryRepresentation()}}})}};
  const std::string api = "https://api.trevalo.io/v1/";
  const std::string recording = "https://recording.trevalo.io/";
  const struct {
    std::string method;
    std::string url;
    std::string body;
  } expected[] = {
      {"GET", api + "geocode/reverse_geocode?lat=51.5&lng=-0.1278&api_token=T0K3N", ""},
      // Coordinates as plain decimals that read back to the same double; characters legal in a
      // query stay, everything else is encoded as UTF-8.
      {"GET",
       api + "search/venues?api_token=T0K3N&lat=0.30000000000000004&lng=0.0000001&radius=1000"
             "&limit=20&q=fish%20&%20chips=%231&category=Caf%C3%A9%20100%25",
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
       R"("device_id":"6D92078A-82"})"},
      {"POST", recording + "wicked_smaht", locations.dump()},
      {"POST", recording + "wicked_smaht", visits.dump()},
      // The message as a JSON string, its UTF-8 kept as it is.
      {"PUT", "https://events.trevalo.io/my%20device/2016-03-05%2012_30_05.json",
       R"("say \"hi\" caf)" + std::string("\u00e9") + R"(\n")"}};
  const auto requests = transport().sentRequests();
  ASSERT_EQ(requests.size(), std::size(expected));
  for (std::size_t i = 0; i < requests.size(); ++i) {
    SCOPED_TRACE(expected[i].url);
    EXPECT_EQ(requests[i].httpMethod, expected[i].method);
    EXPECT_EQ(requests[i].url, expected[i].url);
    EXPECT_EQ(bodyText(requests[i]), expected[i].body);
    EXPECT_EQ(requests[i].timeoutInterval, 40.0);
    EXPECT_EQ(requests[i].headers.valueForField("Content-Type"),
              requests[i].body ? std::optional<std::string>("application/json") : std::nullopt);
  }
}

// Numbers in a query are plain decimals: a server that reads the query as a form would take the
// "+" of "1e+05" for a space. They still read back as the very same double.
TEST_F(TRNetworkClientTest, NumbersInAQueryArePlainDecimalsThatReadBackExactly) {
  const struct {
    double value;
    const char* text;
  } cases[] = {{100000.0, "100000"},
               {1e21, "1000000000000000000000"},
               {123456789.125, "123456789.125"},
               {-0.0, "-0"},
               {5e-324, nullptr},
               {std::numeric_limits<double>::max(), nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const std::size_t before = transport().sentRequests().size();
    TRSearchRequest search;
    search.location = Location({1.0, 2.0});
    search.radius = c.value;
    client.searchForVenues(search, record());
    ASSERT_EQ(transport().sentRequests().size(), before + 1);
    const std::string url = transport().sentRequests().back().url;
    const auto start = url.find("&radius=") + 8;
    const std::string text = url.substr(start, url.find('&', start) - start);
    if (c.text) {
      EXPECT_EQ(text, c.text);
    }
    EXPECT_EQ(text.find_first_of("eE+"), std::string::npos) << text;
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), c.value) << text;
  }
}

TEST_F(TRNetworkClientTest, AFilterListIsSentWheneverOneIsGivenEvenWithNothingKept) {
  client.sendLastLocations({}, Filters{}, record());
  client.sendLastLocations({}, Filters{filter("a", 100.0), filter("b", kNaN), nullptr}, record());
  EXPECT_FALSE(Json::parse(bodyText(transport().sentRequests()[0])).contains("filter"));
  EXPECT_EQ(Json::parse(bodyText(transport().sentRequests()[1]))["filter"], Json::array());
}

TEST_F(TRNetworkClientTest, WithoutATokenOnlyTheEventLogStoreIsReachable) {
  client.setApiKey("");
  const auto store = client.hosts().eventLogStore;
  // The store's name elsewhere in the URL does not make it a request to the store.
  for (const std::string& url :
       {client.hosts().serviceApi + "/v1/x", client.hosts().serviceApi + "/?next=" + store,
        std::string("https://events.trevalo.io.evil.test/x")}) {
    EXPECT_THROW(client.executeTaskWithRequest(get(url), record()), Exception) << url;
  }
  EXPECT_THROW(client.getHomeWork("d", record()), Exception);
  EXPECT_EQ(transport().sentCount(), 0u);

  client.executeTaskWithRequest(get(store + "/dev1/12_30_05.json"), record());
  client.executeTaskWithRequest(get("HTTPS://EVENTS.trevalo.io./x"), record());
  EXPECT_EQ(transport().sentCount(), 2u);
}

// Answers its first request twice and lets go of every later one unanswered.
class MisbehavingTransport final : public HttpTransport {
 public:
  void send(HttpRequest, Completion completion) override {
    if (sent_++ > 0) return;
    completion(SimulatedHttpTransport::response(200, "[]"), std::nullopt);
    completion(std::nullopt, Error("again", 1));
  }

 private:
  int sent_ = 0;
};

TEST_F(TRNetworkClientTest, AMisbehavingTransportStillCompletesOnceOnTheRunLoop) {
  platform().setHttpTransport(std::make_shared<MisbehavingTransport>());
  client.executeTaskWithRequest(get("https://api.trevalo.io/a"), record());
  client.executeTaskWithRequest(get("https://api.trevalo.io/b"), record());
  runUntilIdle();
  EXPECT_FALSE(platform().application().isNetworkActivityIndicatorVisible());
  // A request let go of unanswered is completed as cancelled.
  EXPECT_EQ(calls, (std::vector<Completed>{{Json::array(), std::nullopt, true},
                                           {std::nullopt, HttpTransport::cancelledError(), true}}));
}

TEST_F(TRNetworkClientTest, RecordedLocationsLieStrictlyInsideTheWindowWithANumericTimestamp) {
  std::vector<double> kept;
  client.fetchLocationsFromTracemoor(
      "s1", Date(100.0), Date(200.0), [&](std::vector<Location> found, std::optional<Error> e) {
        EXPECT_FALSE(e);
        for (const auto& location : found)
          kept.push_back(location.timestamp().timeIntervalSince1970());
      });
  transport().respondToNext(SimulatedHttpTransport::response(200, R"({"locations":[
      {"timestamp":100},{"timestamp":150},{"timestamp":200},{"timestamp":"150"},{"latitude":3},
      7,{"timestamp":100.0000001}]})"));
  runUntilIdle();
  EXPECT_EQ(kept, (std::vector<double>{150.0, 100.0000001}));
}

// Each would make no valid URL, or one that leads to another path or resource.
std::vector<std::pair<std::string, std::function<void(Client, Done)>>> refusals() {
  std::vector<std::pair<std::string, std::function<void(Client, Done)>>> cases = {
      {"NaN",
       [](Client c, Done d) {
         c.getPeopleNearby({kNaN, 1.0}, d);
       }},
      {"PointsNotUtf8",
       [](Client c, Done d) {
         auto point = std::make_shared<TRVellLocation>(Location({1.0, 2.0}));
         point->wifiName = "caf\xE9";  // a Latin-1 network name
         c.sendLastLocations({point}, std::nullopt, d);
       }},
      {"LocationsWithoutSession", [](Client c, Done d) { c.sendLocations({}, "", d); }},
      {"VisitWithoutVisit", [](Client c, Done d) { c.sendVisitToTracemoor(nullptr, "s", d); }},
      {"EventLogDeviceSlash", [](Client c, Done d) { c.sendFireBase("m", "1:0", "a/b", d); }},
      {"EventLogMessageNotUtf8", [](Client c, Done d) { c.sendFireBase("\xC3", "1", "d", d); }},
  };
  for (const std::string id : {"", "..", "v/1", "v%2F1", "caf\u00e9"}) {
    cases.emplace_back("Venue " + id, [id](Client c, Done d) { c.getPeopleAtVenue(id, d); });
    cases.emplace_back("Device " + id, [id](Client c, Done d) { c.getHomeWork(id, d); });
  }
  return cases;
}

TEST_F(TRNetworkClientTest, RefusedArgumentsCompleteWithAnErrorOnTheRunLoopOnly) {
  for (const auto& [name, call] : refusals()) {
    SCOPED_TRACE(name);
    calls.clear();
    call(client, record());
    EXPECT_TRUE(calls.empty()) << "completed inside the call";
    runUntilIdle();
    EXPECT_EQ(transport().sentCount(), 0u);
    ASSERT_EQ(calls.size(), 1u);
    const Error error = calls[0].error.value_or(Error("none", 0));
    EXPECT_EQ(std::tuple(calls[0].value, error.domain(), error.code(), calls[0].onRunLoop),
              std::tuple(std::nullopt, TRNetworkClient::kErrorDomain,
                         TRNetworkClient::kInvalidRequestErrorCode, true));
  }
}

}  // namespace
}  // namespace trevalo
