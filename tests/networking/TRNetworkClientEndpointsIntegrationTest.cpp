#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <nlohmann/json.hpp>

#include "networking/LoopbackServer.h"
#include "support/PlatformTest.h"
#include "trevalo/model/TRSearchRequest.h"
#include "trevalo/networking/TRNetworkClient.h"
#include "trevalo/platform/CurlHttpTransport.h"
#include "trevalo/platform/SimulatedPlatform.h"
#include "trevalo/vell/TRVellLocation.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;

// What the loopback server saw of one request.
struct Arrival {
  std::string method;
  std::string path;
  std::string body;
  std::string contentType;
  httplib::Params params;
};

// The endpoints through the real transport to a server on 127.0.0.1 that stands in for all
// four hosts.
class TRNetworkClientEndpointsIntegrationTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    platform().setHttpTransport(std::make_shared<platform::CurlHttpTransport>());
    server_.emplace([this](httplib::Server& s) {
      const auto keep = [this](const char* answer) {
        return [this, answer](const httplib::Request& request, httplib::Response& response) {
          {
            const std::lock_guard lock(mutex_);
            arrivals_.push_back({request.method, request.path, request.body,
                                 request.get_header_value("Content-Type"), request.params});
          }
          response.set_content(answer, "application/json");
        };
      };
      s.Post("/v1/geocode/reverse_geocode", keep(R"({"venue":{"id":"v1"}})"));
      s.Get("/v1/search/venues", keep("[]"));
      s.Put(R"(/dev1/[^/]+\.json)", keep(R"({"name":"-Nx"})"));
    });
    const auto base = server_->url();
    client_.setHosts({base, base, base, base});
    client_.setApiKey("K-1");
  }
  void TearDown() override {
    server_.reset();
    PlatformTest::TearDown();
  }

  // Waits for the one completion of the request just sent.
  std::optional<Json> answer() {
    EXPECT_TRUE(runLoop().runUntil([this] { return calls_ > 0; }, 10s));
    EXPECT_EQ(calls_, 1);
    EXPECT_FALSE(error_) << error_->description();
    return value_;
  }
  TRNetworkClient::Completion record() {
    return [this](std::optional<Json> value, std::optional<Error> error) {
      ++calls_;
      value_ = std::move(value);
      error_ = std::move(error);
    };
  }
  Arrival arrival() {
    const std::lock_guard lock(mutex_);
    EXPECT_EQ(arrivals_.size(), 1u);
    return arrivals_.empty() ? Arrival{} : arrivals_.back();
  }

  TRNetworkClient client_;

 private:
  std::optional<testing::LoopbackServer> server_;
  std::mutex mutex_;
  std::vector<Arrival> arrivals_;
  int calls_ = 0;
  std::optional<Json> value_;
  std::optional<Error> error_;
};

TEST_F(TRNetworkClientEndpointsIntegrationTest, CollectedPointsArriveByteForByte) {
  platform().advertisingIdentifierText().set("ADID");
  auto location =
      std::make_shared<TRVellLocation>(Location({51.5, -0.1278}, 12.0, 5.0, 3.0, 90.0, 1.5, now()));
  location->wifiName = "Caf\u00e9 \"Ost\"";
  location->accelArray.push_back(platform::AccelerometerData{{0.1, 0.2, 0.3}, 1.0});
  Json expected = Json::object();
  expected["points"] = Json::array({location->dictionaryRepresentation()});
  expected["device_id"] = "ADID";

  client_.sendLastLocations({location}, std::nullopt, record());

  EXPECT_EQ(answer(), Json::parse(R"({"venue":{"id":"v1"}})"));
  const auto got = arrival();
  EXPECT_EQ(got.method, "POST");
  EXPECT_EQ(got.body, expected.dump());
  EXPECT_EQ(got.contentType, "application/json");
  EXPECT_EQ(got.params.size(), 1u);
  EXPECT_EQ(got.params.find("api_token")->second, "K-1");
}

TEST_F(TRNetworkClientEndpointsIntegrationTest, VenueSearchQueryArrivesDecoded) {
  TRSearchRequest request;
  request.location = Location({48.1374, 11.5755});
  request.limit = 5;
  request.query = "Caf\u00e9 100% bio";
  request.category = "food/drink";
  client_.searchForVenues(request, record());

  EXPECT_EQ(answer(), Json::array());
  const auto got = arrival();
  EXPECT_EQ(got.method, "GET");
  const std::multimap<std::string, std::string> expected = {
      {"api_token", "K-1"},      {"lat", "48.1374"}, {"lng", "11.5755"},
      {"radius", "1000"},        {"limit", "5"},     {"q", "Caf\u00e9 100% bio"},
      {"category", "food/drink"}};
  EXPECT_EQ(got.params, expected);
}

TEST_F(TRNetworkClientEndpointsIntegrationTest, EventLogIsPutWithoutAToken) {
  client_.setApiKey("");
  client_.sendFireBase("line \"one\"\ttwo", "12:30:05", "dev1", record());

  EXPECT_EQ(answer(), Json::parse(R"({"name":"-Nx"})"));
  const auto got = arrival();
  EXPECT_EQ(got.method, "PUT");
  EXPECT_EQ(got.path, "/dev1/12_30_05.json");
  EXPECT_EQ(got.body, R"("line \"one\"\ttwo")");
  EXPECT_EQ(got.contentType, "application/json");
}

}  // namespace
}  // namespace trevalo
