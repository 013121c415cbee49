#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "model/ModelTestSupport.h"
#include "trevalo/platform/ArchiveError.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/visits/operations/MetaOperationDepart.h"
#include "trevalo/visits/operations/MetaOperationGetAppleVenue.h"
#include "trevalo/visits/operations/MetaOperationGetVenueByLocations.h"
#include "visits/VisitTestSupport.h"

namespace trevalo {
namespace {

using testing::archivedKeys;
using testing::archiveRoundTrip;
using testing::CaseName;
using testing::PrintTo;
using testing::sampleAt;
using testing::stayAt;

using Locations = std::vector<std::shared_ptr<TRVellLocation>>;
using Filters = std::optional<std::vector<std::shared_ptr<TRFilter>>>;

// An empty filter list, which is not the same as none.
Filters noFilters() {
  return std::vector<std::shared_ptr<TRFilter>>{};
}

std::shared_ptr<MetaOperationGetVenueByLocations> stay(Locations locations, double start = 0,
                                                       Filters filters = std::nullopt) {
  return std::make_shared<MetaOperationGetVenueByLocations>(
      std::weak_ptr<VisitTracker>(), std::move(locations), Date(start), std::move(filters));
}

std::shared_ptr<MetaOperationGetAppleVenue> place(double latitude, double longitude,
                                                  double start = 0) {
  return std::make_shared<MetaOperationGetAppleVenue>(
      std::weak_ptr<VisitTracker>(), Location(Coordinate{latitude, longitude}), Date(start));
}

std::shared_ptr<MetaOperationDepart> departure() {
  return std::make_shared<MetaOperationDepart>(
      TRCachedVisit::initWithResult(testing::placeWith("A1", "V1"), Date(100), true), Date(200));
}

// --- Equality --------------------------------------------------------------------------------

struct EqualityCase {
  const char* name;
  std::shared_ptr<MetaOperationBase> left;
  std::shared_ptr<MetaOperationBase> right;
  bool equal;
};

class MetaOperationEqualityTest : public ::testing::TestWithParam<EqualityCase> {};

TEST_P(MetaOperationEqualityTest, FollowsTheRuleOfTheKind) {
  const auto& c = GetParam();
  EXPECT_EQ(c.left->isEqual(c.right.get()), c.equal);
  EXPECT_EQ(c.right->isEqual(c.left.get()), c.equal);
  EXPECT_TRUE(c.left->isEqual(c.left.get()));
  if (c.equal) {
    EXPECT_EQ(c.left->hash(), c.right->hash());
  }
}

Locations endingAt(std::size_t count, double latitude, double longitude) {
  auto locations = stayAt(latitude, longitude, count);
  // Earlier points far away: only the last one counts.
  locations.front() = sampleAt(-latitude, -longitude);
  return locations;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MetaOperationEqualityTest,
    ::testing::Values(
        EqualityCase{"LastPointsWithinTheTolerance", stay(stayAt(40.0, -73.0), 0),
                     stay(endingAt(3, 40.0000005, -73.0000005), 5000, noFilters()), true},
        EqualityCase{"LastPointsTooFarApart", stay(stayAt(40.0, -73.0)),
                     stay(stayAt(40.000002, -73.0)), false},
        EqualityCase{"OneMoreLocation", stay(stayAt(40.0, -73.0, 3)), stay(stayAt(40.0, -73.0, 4)),
                     false},
        EqualityCase{"GeocoderLocationsWithinTheTolerance", place(40.0, -73.0, 0),
                     place(40.0000005, -73.0000009, 900), true},
        EqualityCase{"GeocoderLocationsTooFarApart", place(40.0, -73.0), place(40.0, -73.000002),
                     false},
        EqualityCase{"KindsNeverMix", stay(stayAt(40.0, -73.0, 1)), place(40.0, -73.0), false},
        EqualityCase{"DeparturesOnlyEqualThemselves", departure(), departure(), false}),
    CaseName());

TEST(MetaOperationTest, ARestoredDepartureIsEqualOnlyToItself) {
  const auto original = departure();
  const auto restored = archiveRoundTrip(original);
  EXPECT_FALSE(restored->isEqual(original.get()));
  EXPECT_TRUE(restored->isEqual(restored.get()));
  EXPECT_TRUE(restored->visit()->isEqual(original->visit().get()));
}

// --- Archives --------------------------------------------------------------------------------

TEST(MetaOperationTest, ArchivesUnderTheirKeysAndComeBackWhole) {
  auto filter = std::make_shared<TRFilter>();
  filter->venueName = "Cafe";
  const auto withFilters = stay(stayAt(40.0, -73.0, 2), 1500.25, std::vector{filter});
  EXPECT_EQ(archivedKeys(withFilters, MetaOperationGetVenueByLocations::kArchiveClassName),
            (std::vector<std::string>{"self.locations", "self.startDate", "self.filters"}));
  const auto restoredStay = archiveRoundTrip(withFilters);
  EXPECT_TRUE(restoredStay->isEqual(withFilters.get()));
  EXPECT_EQ(restoredStay->startDate(), Date(1500.25));
  ASSERT_TRUE(restoredStay->filters());
  ASSERT_EQ(restoredStay->filters()->size(), 1u);
  EXPECT_EQ(restoredStay->filters()->front()->venueName, "Cafe");
  EXPECT_EQ(restoredStay->delegate(), nullptr);

  // No filters and an empty list differ (only the first falls back to the geocoder).
  EXPECT_FALSE(archiveRoundTrip(stay(stayAt(1, 1)))->filters());
  const auto emptyFilters = archiveRoundTrip(stay(stayAt(1, 1), 0, noFilters()));
  ASSERT_TRUE(emptyFilters->filters());
  EXPECT_TRUE(emptyFilters->filters()->empty());

  const auto geocoded = place(48.85, 2.35, 77);
  EXPECT_EQ(archivedKeys(geocoded, MetaOperationGetAppleVenue::kArchiveClassName),
            (std::vector<std::string>{"self.location", "self.startDate"}));
  const auto restoredPlace = archiveRoundTrip(geocoded);
  EXPECT_EQ(restoredPlace->location(), geocoded->location());
  EXPECT_EQ(restoredPlace->startDate(), Date(77));

  const auto departed = departure();
  EXPECT_EQ(archivedKeys(departed, MetaOperationDepart::kArchiveClassName),
            (std::vector<std::string>{"self.endDate", "self.visit"}));
  const auto restoredDeparture = archiveRoundTrip(departed);
  EXPECT_EQ(restoredDeparture->endDate(), Date(200));
  EXPECT_EQ(restoredDeparture->visit()->cachedVisitId(), "A1V1");
}

// A record missing what the descriptor cannot work without is a damaged archive.
class IncompleteRecord final : public platform::Archivable {
 public:
  explicit IncompleteRecord(std::string className) : className_(std::move(className)) {}
  std::string archiveClassName() const override { return className_; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override {
    coder.encodeDate(Date(1), "self.startDate");
  }

 private:
  std::string className_;
};

TEST(MetaOperationTest, RecordsMissingTheirSubjectAreRefused) {
  MetaOperationBase::registerArchivableSubclasses();
  for (const char* kind :
       {MetaOperationGetVenueByLocations::kArchiveClassName,
        MetaOperationGetAppleVenue::kArchiveClassName, MetaOperationDepart::kArchiveClassName}) {
    const auto data = platform::KeyedArchiver::archivedDataWithRootObject(
        std::make_shared<IncompleteRecord>(kind));
    EXPECT_THROW(platform::KeyedUnarchiver::unarchiveObjectOfClass<MetaOperationBase>(data),
                 platform::ArchiveError)
        << kind;
  }
}

// --- The rest of the interface ---------------------------------------------------------------

TEST(MetaOperationTest, RefusesWhatItCannotWorkWith) {
  EXPECT_THROW(stay({}), Exception);
  EXPECT_THROW(stay({sampleAt(1, 1), nullptr}), Exception);
  EXPECT_THROW(MetaOperationDepart(nullptr, Date(1)), Exception);
  try {
    place(1, 1)->executeWithHandler(nullptr, Json::array());
    ADD_FAILURE() << "executeWithHandler returned";
  } catch (const Exception& e) {
    EXPECT_EQ(e.name(), "Abstract method cannot be called");
  }
}

}  // namespace
}  // namespace trevalo
