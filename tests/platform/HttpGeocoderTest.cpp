#include "platform/linux/HttpGeocoder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "networking/LoopbackServer.h"
#include "support/PlatformTest.h"
#include "support/TemporaryDirectory.h"
#include "trevalo/platform/linux/CurlHttpTransport.h"
#include "trevalo/platform/linux/SystemPlatform.h"

namespace trevalo::platform {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackServer;

Location at(double latitude, double longitude) {
  return Location({latitude, longitude}, 0, 5, -1, -1, -1, Date(1767225600.0));
}

constexpr const char* kCafe = R"({
  "place_id": 88, "osm_type": "node", "lat": "48.8566", "lon": "2.3522",
  "category": "amenity", "type": "cafe", "name": "Café de la Gare",
  "display_name": "Café de la Gare, 12, Rue de Rivoli, Paris, France",
  "address": {"amenity": "Café de la Gare", "house_number": "12", "road": "Rue de Rivoli",
              "city": "Paris", "postcode": "75001", "country": "France", "country_code": "fr"}})";

constexpr const char* kHouse = R"({
  "lat": 52.37, "lon": "not a number", "name": "",
  "address": {"house_number": "4", "pedestrian": "Damstraat", "town": "Zandvoort",
              "country": "Nederland"}})";

// A reverse-geocoding service answering by latitude: whole degrees pick the answer, a status
// and a body of a type.
class ReverseService {
 public:
  ReverseService()
      : server_([this](httplib::Server& server) {
          server.Get("/geo/reverse", [this](const httplib::Request& request,
                                            httplib::Response& response) {
            const std::lock_guard lock(mutex_);
            queries_.push_back(request.params);
            userAgents_.push_back(request.get_header_value("User-Agent"));
            static const std::map<int, std::tuple<int, const char*, const char*>> answers = {
                {48, {200, kCafe, "application/json"}},
                {52, {200, kHouse, "application/json"}},
                {10, {200, R"({"error":"Unable to geocode"})", "application/json"}},
                {20, {503, "", "text/plain"}},
                {30, {200, "<html>busy</html>", "text/html"}},
                {40, {200, R"([{"name":"x"}])", "application/json"}}};
            const auto found =
                answers.find(static_cast<int>(std::stod(request.get_param_value("lat"))));
            const auto [status, body, type] =
                found == answers.end() ? std::tuple(200, "{}", "application/json") : found->second;
            response.status = status;
            response.set_content(body, type);
          });
        }) {}
  std::string base() const { return server_.url("/geo/"); }
  std::size_t requestCount() const {
    const std::lock_guard lock(mutex_);
    return queries_.size();
  }
  std::multimap<std::string, std::string> query(std::size_t i) const {
    const std::lock_guard lock(mutex_);
    return {queries_.at(i).begin(), queries_.at(i).end()};
  }
  std::string userAgent(std::size_t i) const {
    const std::lock_guard lock(mutex_);
    return userAgents_.at(i);
  }

 private:
  mutable std::mutex mutex_;
  std::vector<httplib::Params> queries_;
  std::vector<std::string> userAgents_;
  LoopbackServer server_;
};

// A placemark's texts: name, street, house number, locality, postal code, country, its code.
using Fields = std::vector<std::optional<std::string>>;
Fields fieldsOf(const Placemark& p) {
  return {p.name,       p.thoroughfare, p.subThoroughfare, p.locality,
          p.postalCode, p.country,      p.ISOcountryCode};
}

struct Answer {
  std::optional<std::vector<Placemark>> placemarks;
  std::optional<Error> error;
  bool onRunLoop = false;
};

class HttpGeocoderTest : public testing::PlatformTest {
 protected:
  std::shared_ptr<HttpGeocoder> geocoder(const std::string& base) {
    return std::make_shared<HttpGeocoder>(platform().services().runLoop, transport_, base);
  }
  // Asks for each location, lets go of the geocoder (the caller may hold on to it) and runs the
  // loop until every answer is in.
  std::vector<Answer> ask(std::shared_ptr<Geocoder> geocoder,
                          const std::vector<Location>& locations) {
    auto answers = std::make_shared<std::vector<Answer>>();
    for (const auto& location : locations) {
      geocoder->reverseGeocodeLocation(
          location, [this, answers](std::optional<std::vector<Placemark>> placemarks,
                                    std::optional<Error> error) {
            answers->push_back({std::move(placemarks), std::move(error), runLoop().isCurrent()});
          });
    }
    geocoder.reset();
    EXPECT_TRUE(runLoop().runUntil([&] { return answers->size() >= locations.size(); }, 10s));
    runLoop().runUntil([] { return false; }, 50ms);  // no second answer to anything
    return *answers;
  }

  std::shared_ptr<CurlHttpTransport> transport_ = std::make_shared<CurlHttpTransport>();
};

TEST_F(HttpGeocoderTest, AnAnswerBecomesAPlacemark) {
  ReverseService service;
  const auto asking = geocoder(service.base());
  auto answers = ask(asking, {at(48.8566, 2.3522)});
  const auto second = ask(asking, {at(52.5, 4.5)});
  answers.insert(answers.end(), second.begin(), second.end());
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(service.query(0), (std::multimap<std::string, std::string>{
                                  {"format", "jsonv2"}, {"lat", "48.8566"}, {"lon", "2.3522"}}));
  EXPECT_EQ(service.userAgent(0).rfind("Trevalo/", 0), 0u);

  ASSERT_TRUE(answers[0].placemarks);
  ASSERT_EQ(answers[0].placemarks->size(), 1u);
  const Placemark& cafe = answers[0].placemarks->front();
  EXPECT_EQ(fieldsOf(cafe),
            (Fields{"Café de la Gare", "Rue de Rivoli", "12", "Paris", "75001", "France", "FR"}));
  ASSERT_TRUE(cafe.location);
  EXPECT_EQ(cafe.location->coordinate(), (Coordinate{48.8566, 2.3522}));

  // No name: the house number and street stand in; a town is the locality; a coordinate the
  // service garbles gives way to the one asked about.
  ASSERT_TRUE(answers[1].placemarks);
  const Placemark& house = answers[1].placemarks->at(0);
  EXPECT_EQ(fieldsOf(house), (Fields{"4 Damstraat", "Damstraat", "4", "Zandvoort", std::nullopt,
                                     "Nederland", std::nullopt}));
  EXPECT_EQ(house.location->coordinate(), (Coordinate{52.5, 4.5}));
}

TEST_F(HttpGeocoderTest, EveryRequestIsAnsweredOnceOnTheRunLoopWithTheRightOutcome) {
  ReverseService service;
  const auto answers = ask(geocoder(service.base() + "//"),
                           {at(10.5, 1), at(20.5, 1), at(30.5, 1), at(40.5, 1), at(60.5, 1)});
  ASSERT_EQ(answers.size(), 5u);
  // Answers may complete in any order; each is told apart by its outcome.
  int nothingFound = 0, network = 0, invalid = 0, empty = 0;
  for (const auto& answer : answers) {
    EXPECT_TRUE(answer.onRunLoop);
    EXPECT_NE(answer.placemarks.has_value(), answer.error.has_value());
    if (answer.error) {
      EXPECT_EQ(answer.error->domain(), Geocoder::kErrorDomain);
      network += answer.error->code() == Geocoder::kErrorNetwork;
      invalid += answer.error->code() == Geocoder::kErrorInvalidAnswer;
    } else if (answer.placemarks->empty()) {
      ++nothingFound;  // the service's error answer: nothing there
    } else {
      ++empty;  // an object with nothing in it is still a place, known only by where it is
      EXPECT_EQ(answer.placemarks->front().name, std::nullopt);
    }
  }
  EXPECT_EQ(nothingFound, 1);
  EXPECT_EQ(network, 1);  // 503
  EXPECT_EQ(invalid, 2);  // HTML, a JSON array
  EXPECT_EQ(empty, 1);
  EXPECT_EQ(service.requestCount(), 5u) << "the slashes of the base are not doubled";
}

TEST_F(HttpGeocoderTest, NoServiceNoCoordinateAndADroppedGeocoder) {
  const auto unreachable =
      ask(geocoder("http://127.0.0.1:" + std::to_string(testing::closedLoopbackPort())),
          {at(48.8566, 2.3522)});
  ASSERT_EQ(unreachable.size(), 1u);
  ASSERT_TRUE(unreachable[0].error);
  EXPECT_EQ(unreachable[0].error->code(), Geocoder::kErrorNetwork);

  // A geocoder let go of with requests in flight still answers them.
  ReverseService service;
  const auto answers =
      ask(geocoder(service.base()),
          {Location(kCoordinateInvalid, 0, 5, -1, -1, -1, Date()), at(48.8566, 2.3522)});
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_TRUE(answers[0].placemarks && answers[0].placemarks->empty())
      << "nothing is at no coordinate";
  EXPECT_EQ(answers[1].placemarks->at(0).name, "Café de la Gare") << "answered all the same";
  EXPECT_EQ(service.requestCount(), 1u) << "no request for no coordinate";

  EXPECT_THROW(HttpGeocoder(platform().services().runLoop, transport_, ""), Exception);
  EXPECT_THROW(geocoder(service.base())->reverseGeocodeLocation(at(1, 1), nullptr), Exception);
}

TEST(SystemPlatformHttpGeocoderTest, TheSystemPlatformAsksTheServiceItIsGiven) {
  ReverseService service;
  const testing::TemporaryDirectory directory;
  const auto system = SystemPlatform::make(
      {.documentsDirectory = directory.path(), .reverseGeocodingBaseUrl = service.base()});
  std::promise<std::optional<std::string>> named;
  system->makeGeocoder()->reverseGeocodeLocation(
      at(48.8566, 2.3522),
      [&](std::optional<std::vector<Placemark>> placemarks, std::optional<Error>) {
        named.set_value(placemarks && !placemarks->empty() ? placemarks->front().name
                                                           : std::nullopt);
      });
  auto future = named.get_future();
  ASSERT_EQ(future.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(future.get(), "Café de la Gare");
}

}  // namespace
}  // namespace trevalo::platform
