#include "trevalo/visits/TRCachedVisit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "model/ModelTestSupport.h"
#include "support/PlatformTest.h"
#include "trevalo/platform/ArchiveError.h"
#include "trevalo/utils/TRUtils.h"

namespace trevalo {
namespace {

using testing::archivedKeys;
using testing::archiveRoundTrip;
using testing::CaseName;
using ::testing::ElementsAre;
using testing::placeWithIds;
using testing::PrintTo;
using testing::snapshot;

std::shared_ptr<TRPlace> coffeeShop() {
  return TRPlace::initWithDictionary(testing::readModelJson("reverse_geocode.json"));
}

class TRCachedVisitTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    platform().advertisingIdentifierText().set("AD-ID");
    platform().application().setBundleIdentifier("com.example.app");
    platform().device().overrideIdentifierForVendor("VENDOR-ID");
  }
};

// --- Identity --------------------------------------------------------------------------------

struct IdentityCase {
  const char* name;
  std::optional<std::string> addressId;
  std::optional<std::string> venueId;
  const char* identity;
};

class TRCachedVisitIdentityTest : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(TRCachedVisitIdentityTest, IsTheAddressIdFollowedByTheVenueId) {
  const auto& c = GetParam();
  const auto place = placeWithIds(c.addressId, c.venueId);
  EXPECT_EQ(TRCachedVisit::cachedIdForResult(place.get()), c.identity);
  EXPECT_EQ(TRCachedVisit::initWithResult(place, Date(0.0), false)->cachedVisitId(), c.identity);
}

INSTANTIATE_TEST_SUITE_P(Ids, TRCachedVisitIdentityTest,
                         ::testing::Values(IdentityCase{"Both", "A1", "V9", "A1V9"},
                                           IdentityCase{"AddressOnly", "A1", std::nullopt, "A1"},
                                           IdentityCase{"VenueOnly", std::nullopt, "V9", "V9"},
                                           IdentityCase{"BothEmpty", "", "", ""},
                                           IdentityCase{"BothMissing", std::nullopt, std::nullopt,
                                                        ""}),
                         CaseName());

TEST(TRCachedVisitIdentityTest, NoPlaceHasTheEmptyIdentity) {
  EXPECT_EQ(TRCachedVisit::cachedIdForResult(nullptr), "");
  EXPECT_EQ(TRCachedVisit::initWithResult(nullptr, Date(0.0), false)->cachedVisitId(), "");
  EXPECT_EQ(TRCachedVisit::cachedIdForResult(std::make_shared<TRPlace>().get()), "");
}

// --- The visit dictionary --------------------------------------------------------------------

TEST_F(TRCachedVisitTest, AnEndedVisitGivesEveryMemberInOrder) {
  const auto visit = TRCachedVisit::initWithResult(coffeeShop(), Date(1767261600.25), true);
  visit->setEndDate(Date(1767265200.5));

  const Json body = visit->dictionaryRepresentation();

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
  EXPECT_EQ(body.dump(), expected.dump()) << "members and their order";
}

TEST_F(TRCachedVisitTest, AnOpenVisitEndsAtZeroAndAddsNothingElse) {
  const auto body =
      TRCachedVisit::initWithResult(coffeeShop(), Date(100.0), false)->dictionaryRepresentation();
  EXPECT_EQ(body["end_time"], 0u);
  EXPECT_EQ(body["app_opened"], false);
  EXPECT_EQ(body.size(), 12u);
  EXPECT_FALSE(body.contains("event_id"));
}

TEST_F(TRCachedVisitTest, StartTimesAreTruncatedToWholeMilliseconds) {
  const auto body = TRCachedVisit::initWithResult(coffeeShop(), Date(1500000000.9999), false)
                        ->dictionaryRepresentation();
  EXPECT_EQ(body["start_time"], 1500000000999u);
  EXPECT_TRUE(body["start_time"].is_number_unsigned());
}

TEST_F(TRCachedVisitTest, MissingValuesAndNaNAreLeftOut) {
  auto place = std::make_shared<TRPlace>();
  place->venue = std::make_shared<TRVenue>();
  place->venue->venueId = "V";
  platform().advertisingIdentifierText().set(std::nullopt);
  platform().device().overrideIdentifierForVendor(std::nullopt);
  platform().application().setBundleIdentifier(std::nullopt);

  const Json noAddress =
      TRCachedVisit::initWithResult(place, Date(1.0), false)->dictionaryRepresentation();

  EXPECT_EQ(noAddress, Json::parse(R"({"app_opened": false, "start_time": 1000, "end_time": 0,
                                       "lat": 0.0, "lng": 0.0, "sdk_version": ")" +
                                   *TRUtils::version() + R"(", "venue_id": "V"})"));

  place->address = std::make_shared<TRAddress>();
  place->address->lat = std::numeric_limits<double>::quiet_NaN();
  place->address->lon = 2.5;
  const Json nanLatitude =
      TRCachedVisit::initWithResult(place, Date(1.0), false)->dictionaryRepresentation();
  EXPECT_FALSE(nanLatitude.contains("lat"));
  EXPECT_EQ(nanLatitude["lng"], 2.5);
  EXPECT_FALSE(nanLatitude.contains("address_id"));
}

TEST_F(TRCachedVisitTest, AVisitWithoutAPlaceStillGivesABody) {
  const Json body =
      TRCachedVisit::initWithResult(nullptr, Date(2.0), true)->dictionaryRepresentation();
  EXPECT_EQ(body["lat"], 0.0);
  EXPECT_EQ(body["start_time"], 2000u);
  EXPECT_FALSE(body.contains("venue_id"));
}

// --- Equality and hash -----------------------------------------------------------------------

TEST(TRCachedVisitEqualityTest, SameStartAndSamePlaceAreTheSameVisit) {
  const auto a = TRCachedVisit::initWithResult(placeWithIds("A1", "V9"), Date(10.0), false);
  const auto b = TRCachedVisit::initWithResult(placeWithIds("A1", "V9"), Date(10.0), true);
  b->setEndDate(Date(20.0));

  EXPECT_TRUE(a->isEqual(b.get())) << "end and foreground flag do not count";
  EXPECT_TRUE(b->isEqualToVisitOperation(a.get()));
  EXPECT_EQ(a->hash(), b->hash());
  EXPECT_TRUE(a->isEqual(a.get()));
}

TEST(TRCachedVisitEqualityTest, AnotherStartPlaceOrKindIsAnotherVisit) {
  const auto a = TRCachedVisit::initWithResult(placeWithIds("A1", "V9"), Date(10.0), false);
  EXPECT_FALSE(a->isEqual(
      TRCachedVisit::initWithResult(placeWithIds("A1", "V9"), Date(10.001), false).get()));
  EXPECT_FALSE(
      a->isEqual(TRCachedVisit::initWithResult(placeWithIds("A1", "V8"), Date(10.0), false).get()));
  EXPECT_FALSE(a->isEqual(TRCachedVisit::initWithResult(nullptr, Date(10.0), false).get()));
  EXPECT_FALSE(a->isEqual(a->geocodeResult().get()));
  EXPECT_FALSE(a->isEqual(nullptr));

  const auto unresolved = TRCachedVisit::initWithResult(nullptr, Date(10.0), false);
  EXPECT_TRUE(unresolved->isEqual(TRCachedVisit::initWithResult(nullptr, Date(10.0), true).get()));
}

TEST(TRCachedVisitEqualityTest, TheHashMarksWhetherThePlaceHasAValue) {
  const auto resolved = TRCachedVisit::initWithResult(placeWithIds("A1", ""), Date(10.0), false);
  const auto empty = TRCachedVisit::initWithResult(placeWithIds("", ""), Date(10.0), false);
  EXPECT_EQ(resolved->hash() ^ empty->hash(), 1u);
}

// --- Descriptions ----------------------------------------------------------------------------

TEST(TRCachedVisitDescriptionTest, NamesStartAndPlace) {
  const auto visit = TRCachedVisit::initWithResult(coffeeShop(), Date(1500000000.0), false);
  EXPECT_TRUE(std::regex_match(
      visit->description(),
      std::regex(
          R"(<VenueVisit: startDate:2017-07-14 02:40:00 \+0000, venue:<TRPlace: venue:<TRVenue: 0x[0-9a-f]+>>>)")))
      << visit->description();
  EXPECT_EQ(visit->debugDescription(), "Blue Door Coffee(935 Broadway)");
  EXPECT_EQ(TRCachedVisit::initWithResult(nullptr, Date(0.0), false)->debugDescription(),
            "(null)((null) (null))");
}

// --- Archive ---------------------------------------------------------------------------------

TEST(TRCachedVisitArchiveTest, ARoundTripKeepsEveryField) {
  const auto visit = TRCachedVisit::initWithResult(coffeeShop(), Date(1500000000.9999), true);
  visit->setEndDate(Date(1500003600.5));

  const auto restored = archiveRoundTrip(visit);

  EXPECT_EQ(restored->startDate(), visit->startDate());
  EXPECT_EQ(restored->endDate(), visit->endDate());
  EXPECT_TRUE(restored->appActive());
  EXPECT_EQ(snapshot(restored->geocodeResult()), snapshot(visit->geocodeResult()));
  EXPECT_TRUE(restored->isEqual(visit.get()));
  EXPECT_THAT(
      archivedKeys(visit, "TRCachedVisit"),
      ElementsAre("self.startDate", "self.geocodeResult", "self.appActive", "self.endDate"));
}

TEST(TRCachedVisitArchiveTest, AnOpenVisitStaysOpen) {
  const auto restored =
      archiveRoundTrip(TRCachedVisit::initWithResult(placeWithIds("A", "V"), Date(5.0), false));
  EXPECT_EQ(restored->endDate(), std::nullopt);
  EXPECT_FALSE(restored->appActive());
}

// Claims to be a cached visit but has lost its start.
struct StartlessVisit final : platform::Archivable {
  std::string archiveClassName() const override { return TRCachedVisit::kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override {
    coder.encodeBool(true, "self.appActive");
  }
};

TEST(TRCachedVisitArchiveTest, AVisitWithoutItsStartIsDamaged) {
  const auto data =
      platform::KeyedArchiver::archivedDataWithRootObject(std::make_shared<StartlessVisit>());
  EXPECT_THROW(platform::KeyedUnarchiver::unarchiveObjectOfClass<TRCachedVisit>(data),
               platform::ArchiveError);
}

}  // namespace
}  // namespace trevalo
