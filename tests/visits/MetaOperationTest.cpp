#include <gtest/gtest.h>

#include <memory>
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

Locations endingAt(std::size_t count, double latitude, double longitude) {
  auto locations = stayAt(latitude, longitude, count);
  // Earlier points far away: only the last one counts.
  locations.front() = sampleAt(-latitude, -longitude);
  return locations;
}

TEST(MetaOperationTest, EqualityFollowsTheRuleOfTheKindAndHashesAgree) {
  const std::tuple<const char*, std::shared_ptr<MetaOperationBase>,
                   std::shared_ptr<MetaOperationBase>, bool>
      table[] = {
          {"last points within the tolerance", stay(stayAt(40.0, -73.0), 0),
           stay(endingAt(3, 40.0000005, -73.0000005), 5000, noFilters()), true},
          {"last points too far apart", stay(stayAt(40.0, -73.0)), stay(stayAt(40.000002, -73.0)),
           false},
          {"one more location", stay(stayAt(40.0, -73.0, 3)), stay(stayAt(40.0, -73.0, 4)), false},
          {"geocoder locations within the tolerance", place(40.0, -73.0, 0),
           place(40.0000005, -73.0000009, 900), true},
          {"geocoder locations too far apart", place(40.0, -73.0), place(40.0, -73.000002), false},
          {"kinds never mix", stay(stayAt(40.0, -73.0, 1)), place(40.0, -73.0), false},
          {"departures only equal themselves", departure(), departure(), false},
      };
  for (const auto& [name, left, right, equal] : table) {
    SCOPED_TRACE(name);
    EXPECT_EQ(left->isEqual(right.get()), equal);
    EXPECT_EQ(right->isEqual(left.get()), equal);
    EXPECT_TRUE(left->isEqual(left.get()));
    if (equal) {
      EXPECT_EQ(left->hash(), right->hash());
    }
  }
}

TEST(MetaOperationTest, ArchivesUnderTheirKeysAndComeBackWhole) {
  auto filter = std::make_shared<TRFilter>();
  filter->venueName = "Cafe";
  const auto withFilters = stay(stayAt(40.0, -73.0, 2), 1500.25, std::vector{filter});
  EXPECT_EQ(archivedKeys(withFilters, MetaOperationGetVenueByLocations::kArchiveClassName),
            (std::vector<std::string>{"self.locations", "self.startDate", "self.filters"}));
  const auto restoredStay = archiveRoundTrip(withFilters);
  EXPECT_TRUE(restoredStay->isEqual(withFilters.get()));
  EXPECT_EQ(restoredStay->startDate(), Date(1500.25));
  ASSERT_EQ(restoredStay->filters().value_or(Filters::value_type()).size(), 1u);
  EXPECT_EQ(restoredStay->filters()->front()->venueName, "Cafe");

  // No filters and an empty list differ (only the first falls back to the geocoder).
  EXPECT_FALSE(archiveRoundTrip(stay(stayAt(1, 1)))->filters());
  EXPECT_EQ(archiveRoundTrip(stay(stayAt(1, 1), 0, noFilters()))->filters(), noFilters());

  const auto geocoded = place(48.85, 2.35, 77);
  EXPECT_EQ(archivedKeys(geocoded, MetaOperationGetAppleVenue::kArchiveClassName),
            (std::vector<std::string>{"self.location", "self.startDate"}));
  const auto restoredPlace = archiveRoundTrip(geocoded);
  EXPECT_EQ(restoredPlace->location(), geocoded->location());
  EXPECT_EQ(restoredPlace->startDate(), Date(77));

  // A restored departure is a new piece of work: equal only to itself, with an equal visit.
  const auto departed = departure();
  EXPECT_EQ(archivedKeys(departed, MetaOperationDepart::kArchiveClassName),
            (std::vector<std::string>{"self.endDate", "self.visit"}));
  const auto restoredDeparture = archiveRoundTrip(departed);
  EXPECT_EQ(restoredDeparture->endDate(), Date(200));
  EXPECT_TRUE(restoredDeparture->visit()->isEqual(departed->visit().get()));
  EXPECT_FALSE(restoredDeparture->isEqual(departed.get()));
  EXPECT_TRUE(restoredDeparture->isEqual(restoredDeparture.get()));
}

// Has a start but lacks the subject every kind of descriptor needs.
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

}  // namespace
}  // namespace trevalo
