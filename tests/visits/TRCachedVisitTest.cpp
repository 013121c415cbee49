#include "trevalo/visits/TRCachedVisit.h"

#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "model/ModelTestSupport.h"
#include "support/PlatformTest.h"
#include "trevalo/platform/ArchiveError.h"
#include "trevalo/utils/TRUtils.h"

namespace trevalo {
namespace {

using testing::archivedKeys;
using testing::archiveRoundTrip;
using testing::placeWithIds;

std::shared_ptr<TRPlace> coffeeShop() {
  return TRPlace::initWithDictionary(testing::readModelJson("reverse_geocode.json"));
}

std::shared_ptr<TRCachedVisit> visitAt(std::shared_ptr<TRPlace> place, double start,
                                       bool appActive = false) {
  return TRCachedVisit::initWithResult(std::move(place), Date(start), appActive);
}

TEST(TRCachedVisitTest, IdentityIsTheAddressIdFollowedByTheVenueId) {
  using Id = std::optional<std::string>;
  const std::tuple<Id, Id, const char*> table[] = {{"A1", "V9", "A1V9"},
                                                   {"A1", std::nullopt, "A1"},
                                                   {std::nullopt, "V9", "V9"},
                                                   {"", "", ""},
                                                   {std::nullopt, std::nullopt, ""}};
  for (const auto& [addressId, venueId, identity] : table) {
    const auto place = placeWithIds(addressId, venueId);
    EXPECT_EQ(TRCachedVisit::cachedIdForResult(place.get()), identity);
    EXPECT_EQ(visitAt(place, 0)->cachedVisitId(), identity);
  }
  EXPECT_EQ(TRCachedVisit::cachedIdForResult(nullptr), "");
  EXPECT_EQ(visitAt(nullptr, 0)->cachedVisitId(), "");
  EXPECT_EQ(TRCachedVisit::cachedIdForResult(std::make_shared<TRPlace>().get()), "");
}

class TRCachedVisitBodyTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    platform().advertisingIdentifierText().set("AD-ID");
    platform().application().setBundleIdentifier("com.example.app");
    platform().device().overrideIdentifierForVendor("VENDOR-ID");
  }
};

TEST_F(TRCachedVisitBodyTest, GivesEveryMemberInOrderWithTimesInWholeMilliseconds) {
  // Times are truncated, not rounded: .2509 s is 250 ms.
  const auto visit = visitAt(coffeeShop(), 1767261600.2509);
  const Json open = visit->dictionaryRepresentation();
  EXPECT_EQ(open["end_time"], 0u);
  EXPECT_EQ(open["app_opened"], false);

  visit->setEndDate(Date(1767265200.5));
  visit->setAppActive(true);
  Json expected = Json::object();
  expected["address_id"] = "a-1009";
  expected["app_opened"] = true;
  expected["bundle_id"] = "com.example.app";
  expected["device_id"] = "AD-ID";
  expected["vendor_id"] = "VENDOR-ID";
  expected["start_time"] = 1767261600250u;
  expected["end_time"] = 1767265200500u;
  expected["geometry_id"] = "g-77";
  expected["lat"] = 40.741895;
  expected["lng"] = -73.989308;
  expected["sdk_version"] = *TRUtils::version();
  expected["venue_id"] = "v-5821";
  EXPECT_EQ(visit->dictionaryRepresentation().dump(), expected.dump()) << "members and order";
}

TEST_F(TRCachedVisitBodyTest, MissingValuesAndNaNAreLeftOut) {
  auto place = std::make_shared<TRPlace>();
  place->venue = std::make_shared<TRVenue>();
  place->venue->venueId = "V";
  platform().advertisingIdentifierText().set(std::nullopt);
  platform().device().overrideIdentifierForVendor(std::nullopt);
  platform().application().setBundleIdentifier(std::nullopt);

  EXPECT_EQ(visitAt(place, 1.0)->dictionaryRepresentation(),
            Json::parse(R"({"app_opened": false, "start_time": 1000, "end_time": 0,
                            "lat": 0.0, "lng": 0.0, "sdk_version": ")" +
                        *TRUtils::version() + R"(", "venue_id": "V"})"));

  place->address = std::make_shared<TRAddress>();
  place->address->lat = std::numeric_limits<double>::quiet_NaN();
  place->address->lon = 2.5;
  const Json nanLatitude = visitAt(place, 1.0)->dictionaryRepresentation();
  EXPECT_FALSE(nanLatitude.contains("lat"));
  EXPECT_EQ(nanLatitude["lng"], 2.5);
  EXPECT_FALSE(nanLatitude.contains("address_id"));

  // A visit without a place still gives a body.
  const Json noPlace = visitAt(nullptr, 2.0, true)->dictionaryRepresentation();
  EXPECT_EQ(noPlace["lat"], 0.0);
  EXPECT_EQ(noPlace["start_time"], 2000u);
  EXPECT_FALSE(noPlace.contains("venue_id"));
}

TEST(TRCachedVisitTest, SameStartAndSamePlaceAreTheSameVisit) {
  const auto visit = visitAt(placeWithIds("A1", "V9"), 10.0);
  // The end and the foreground flag do not count.
  const auto ended = visitAt(placeWithIds("A1", "V9"), 10.0, true);
  ended->setEndDate(Date(20.0));
  EXPECT_TRUE(visit->isEqual(ended.get()));
  EXPECT_TRUE(ended->isEqualToVisitOperation(visit.get()));
  EXPECT_EQ(visit->hash(), ended->hash());
  EXPECT_TRUE(visitAt(nullptr, 10.0)->isEqual(visitAt(nullptr, 10.0, true).get()));

  for (const auto& other : {visitAt(placeWithIds("A1", "V9"), 10.001),
                            visitAt(placeWithIds("A1", "V8"), 10.0), visitAt(nullptr, 10.0)})
    EXPECT_FALSE(visit->isEqual(other.get())) << other->debugDescription();
  EXPECT_FALSE(visit->isEqual(visit->geocodeResult().get()));
  EXPECT_FALSE(visit->isEqual(nullptr));
}

TEST(TRCachedVisitTest, ARoundTripKeepsEveryFieldUnderItsKey) {
  const auto ended = visitAt(coffeeShop(), 1500000000.9999, true);
  ended->setEndDate(Date(1500003600.5));
  EXPECT_EQ(archivedKeys(ended, "TRCachedVisit"),
            (std::vector<std::string>{"self.startDate", "self.geocodeResult", "self.appActive",
                                      "self.endDate"}));
  for (const auto& visit : {ended, visitAt(placeWithIds("A", "V"), 5.0)}) {
    const auto restored = archiveRoundTrip(visit);
    EXPECT_EQ(restored->startDate(), visit->startDate());
    EXPECT_EQ(restored->endDate(), visit->endDate());
    EXPECT_EQ(restored->appActive(), visit->appActive());
    EXPECT_EQ(testing::snapshot(restored->geocodeResult()),
              testing::snapshot(visit->geocodeResult()));
  }
}

// Claims to be a cached visit but has lost its start.
struct StartlessVisit final : platform::Archivable {
  std::string archiveClassName() const override { return TRCachedVisit::kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override {
    coder.encodeBool(true, "self.appActive");
  }
};

TEST(TRCachedVisitTest, AVisitWithoutItsStartIsDamaged) {
  const auto data =
      platform::KeyedArchiver::archivedDataWithRootObject(std::make_shared<StartlessVisit>());
  EXPECT_THROW(platform::KeyedUnarchiver::unarchiveObjectOfClass<TRCachedVisit>(data),
               platform::ArchiveError);
}

}  // namespace
}  // namespace trevalo
