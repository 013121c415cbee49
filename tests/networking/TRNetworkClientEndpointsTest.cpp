#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>

#include "networking/EndpointTestSupport.h"
#include "trevalo/platform/Device.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/SimulatedPlatform.h"
#include "trevalo/vell/TRVellLocation.h"

namespace trevalo {
namespace {

using platform::SimulatedHttpTransport;
using testing::makeFilter;

using Filters = std::vector<std::shared_ptr<TRFilter>>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class TRNetworkClientEndpointsTest : public testing::EndpointTest {
 protected:
  std::shared_ptr<TRVellLocation> vell(double latitude, double longitude, bool indoor) const {
    auto made = std::make_shared<TRVellLocation>(
        Location({latitude, longitude}, 12.0, 5.0, 3.0, 90.0, 1.5, now()));
    made->isIndoor = indoor;
    made->wifiName = "cafe";
    made->headingArray.push_back(platform::Heading{10.0, 11.0, 2.0, 1.0, 2.0, 3.0, now()});
    made->accelArray.push_back(platform::AccelerometerData{{0.1, 0.2, 0.3}, 1.0});
    return made;
  }

  // Makes the device offer no identifier at all.
  void withoutDeviceIdentifiers() const {
    platform().advertisingIdentifierText().set(std::nullopt);
    platform().device().overrideIdentifierForVendor(std::nullopt);
    platform().application().setBundleIdentifier(std::nullopt);
  }
};

TEST_F(TRNetworkClientEndpointsTest, CollectedPointsRequestCarriesPointsIdentifiersAndFilters) {
  platform().advertisingIdentifierText().set("6D92078A-8246-4BA4-AE5B-76104861E7DC");
  platform().application().setBundleIdentifier("com.example.app");
  const auto outdoor = vell(51.5, -0.1278, false);
  const auto indoor = vell(51.5001, -0.1279, true);

  client.sendLastLocations({outdoor, nullptr, indoor},
                           Filters{makeFilter("food", 0.0), makeFilter("bar", 50.0)}, record());

  const auto request = onlyRequest();
  EXPECT_EQ(request.url, "https://api.trevalo.io/v1/geocode/reverse_geocode?api_token=T0K3N");
  EXPECT_EQ(request.httpMethod, "POST");
  EXPECT_EQ(request.headers.valueForField("Content-Type"), "application/json");
  Json expected = Json::object();
  expected["points"] = {outdoor->dictionaryRepresentation(), indoor->dictionaryRepresentation()};
  expected["device_id"] = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
  expected["bundle_id"] = "com.example.app";
  expected["filter"] = Json::parse(R"([{"venue_category":"food"}])");
  EXPECT_EQ(bodyText(request), expected.dump());
  EXPECT_EQ(request.headers.valueForField("Content-Length"),
            std::to_string(expected.dump().size()));
  // The outdoor point carries its sensor lists, the indoor one does not.
  EXPECT_TRUE(expected["points"][0].contains("headings"));
  EXPECT_FALSE(expected["points"][1].contains("headings"));

  transport().respondToNext(SimulatedHttpTransport::response(200, R"({"venue":{"id":"v1"}})"));
  runUntilIdle();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].value, Json::parse(R"({"venue":{"id":"v1"}})"));
  EXPECT_FALSE(calls[0].error);
  EXPECT_TRUE(calls[0].onRunLoop);
}

struct FilterCase {
  const char* name;
  std::optional<std::vector<std::shared_ptr<TRFilter>>> filters;
  std::optional<std::string> expectedFilter;  // dumped; nothing: no "filter" member
};

class CollectedPointsFilterTest : public TRNetworkClientEndpointsTest,
                                  public ::testing::WithParamInterface<FilterCase> {};

TEST_P(CollectedPointsFilterTest, KeepsOnlyFiltersWithoutARadius) {
  client.sendLastLocations({vell(1.0, 2.0, true)}, GetParam().filters, record());
  const Json body = Json::parse(bodyText(onlyRequest()));
  if (GetParam().expectedFilter) {
    ASSERT_TRUE(body.contains("filter"));
    EXPECT_EQ(body["filter"].dump(), *GetParam().expectedFilter);
  } else {
    EXPECT_FALSE(body.contains("filter"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, CollectedPointsFilterTest,
    ::testing::Values(
        FilterCase{"Absent", std::nullopt, std::nullopt},
        FilterCase{"Empty", Filters{}, std::nullopt},
        FilterCase{
            "NoneKept",
            Filters{makeFilter("food", 100.0), makeFilter("bar", 0.001), makeFilter("x", kNaN)},
            "[]"},
        FilterCase{"OnlyANull", Filters{nullptr}, "[]"},
        FilterCase{"ConvertedInOrder",
                   Filters{makeFilter(" food ", 0.0, "Joe's"), nullptr,
                           makeFilter(std::nullopt, 0.0009, "Cafe"), makeFilter("far", 1.0)},
                   R"([{"venue_category":"food","venue_name":"Joe's"},{"venue_name":"Cafe"}])"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TRNetworkClientEndpointsTest, IdentifiersTheDeviceLacksAreLeftOut) {
  withoutDeviceIdentifiers();
  client.sendLastLocations({}, std::nullopt, record());
  EXPECT_EQ(bodyText(onlyRequest()), R"({"points":[]})");
}

TEST_F(TRNetworkClientEndpointsTest, VisitLogIsSentAsGiven) {
  const auto visit = Json::parse(
      R"({"venue_id":"v 1","start_time":1767225600000,"end_time":0,"name":"Caf\u00e9","x":null})");
  client.logVenue(visit, record());
  const auto request = onlyRequest();
  EXPECT_EQ(request.url, "https://api.trevalo.io/v1/logging/visit?api_token=T0K3N");
  EXPECT_EQ(request.httpMethod, "POST");
  EXPECT_EQ(bodyText(request), visit.dump());

  transport().respondToNext(SimulatedHttpTransport::response(500, "{}"));
  runUntilIdle();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].error->code(), -9992);
}

TEST_F(TRNetworkClientEndpointsTest, ABodyThatIsNotUtf8IsRefusedThroughTheCompletion) {
  auto location = vell(1.0, 2.0, false);
  location->wifiName = std::string("caf\xE9", 4);  // a Latin-1 network name
  client.sendLastLocations({location}, std::nullopt, record());
  expectRefused("points");
  client.logVenue(Json{{"name", std::string("\xFF\xFE")}}, record());
  expectRefused("visit");
}

TEST_F(TRNetworkClientEndpointsTest, WithoutATokenTheServiceEndpointsRaise) {
  client.setApiKey("");
  EXPECT_THROW(client.sendLastLocations({}, std::nullopt, record()), Exception);
  EXPECT_THROW(client.logVenue(Json::object(), record()), Exception);
  runUntilIdle();
  EXPECT_EQ(transport().sentCount(), 0u);
  EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace trevalo
