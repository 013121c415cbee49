// Who is inside which geofence, across refetches, answers with holes, relaunches and changes
// of filters.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "GeofencesTestSupport.h"

namespace trevalo {
namespace {

using testing::answer;
using testing::chordNorthOf;
using testing::Fence;
using testing::filter;
using testing::GeofencesTest;
using testing::metres;

class GeofenceMembershipTest : public GeofencesTest {
 protected:
  void SetUp() override {
    GeofencesTest::SetUp();
    manager->updateFilters({cafes}, journal);
  }
  // As after the process ends: a manager from the file, given the same filters again.
  void relaunch() {
    manager = makeManager(TRGeofencesManager::restoreManager());
    manager->updateFilters({cafes}, journal);
  }
};

TEST_F(GeofenceMembershipTest, OneStayGivesOneEntryAndOneExitWhateverTheFetchesBring) {
  const Json same = answer({Fence{venue, "v0"}});
  walkFetching(chordNorthOf(venue, 10.0), same);
  advanceBy(31.0);
  // 30 m from where it fetched, beyond `max`: the same venue comes back as a new object.
  walkFetching(chordNorthOf(venue, 40.0), same);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(journal->story, "+v0");
  EXPECT_EQ(manager->currentGeofences(), *manager->geofences()) << "held as the newest object";

  // A fetch without the venue does not make the user stay in it for ever.
  advanceBy(31.0);
  walkFetching(chordNorthOf(venue, 90.0), answer(std::vector<Fence>{}));
  ASSERT_EQ(requests.size(), 3u);
  walkFetching(chordNorthOf(venue, 114.0), Json());
  EXPECT_EQ(journal->story, "+v0");
  walkFetching(chordNorthOf(venue, 116.0), Json());
  EXPECT_EQ(journal->story, "+v0 -v0");
  EXPECT_TRUE(manager->currentGeofences().empty());

  // Another venue on the same spot is another geofence.
  advanceBy(31.0);
  walkFetching(venue, answer({Fence{venue, "v0"}, Fence{venue, "v1"}, Fence{venue, "v1"}}));
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(journal->story, "+v0 -v0 +v0 +v1");
}

TEST_F(GeofenceMembershipTest, AGeofenceWithoutIdentifiersIsKnownByItsCircle) {
  auto anonymous = [](const std::vector<Coordinate>& centers) {
    Json list = answer(centers);
    for (Json& element : list)
      element.erase("id");
    return list;
  };
  walkFetching(chordNorthOf(venue, 10.0), anonymous({venue}));
  advanceBy(31.0);
  walkFetching(chordNorthOf(venue, 40.0), anonymous({venue, chordNorthOf(venue, 1.0)}));
  ASSERT_EQ(requests.size(), 2u);
  ASSERT_EQ(journal->geofences.size(), 2u) << "the first again, and the one a metre off";
  EXPECT_EQ(journal->geofences[1]->center, chordNorthOf(venue, 1.0));
}

TEST_F(GeofenceMembershipTest, ElementsWithoutACentreTakeNoPartInMaxNorInTheTests) {
  Json fetched = answer({Fence{metres(0, 300), "v0"}});
  fetched.push_back({{"id", "nowhere"}, {"name", "No address"}});
  fetched.push_back({{"id", "half"}, {"address", {{"location", {{"latitude", 0.0}}}}}});
  fetched.push_back(
      {{"id", "text"}, {"address", {{"location", {{"latitude", "0"}, {"longitude", "0"}}}}}});
  walkFetching(venue, fetched);
  EXPECT_NEAR(manager->max(), 300.0, 1e-3);
  // So a walk beyond the farthest real geofence still brings fresh ones.
  advanceBy(31.0);
  walkFetching(metres(0, -310), fetched);
  EXPECT_EQ(requests.size(), 2u);

  // Where a missing centre used to be read as (0, 0), nothing is entered.
  advanceBy(31.0);
  walkFetching(Coordinate{0.0, 0.0}, fetched);
  EXPECT_EQ(requests.size(), 3u);
  manager->processExit(Coordinate{0.0, 0.0});
  EXPECT_EQ(journal->story, "");
  EXPECT_TRUE(manager->currentGeofences().empty());
}

TEST_F(GeofenceMembershipTest, ARelaunchRepeatsNeitherAnEntryNorAnExit) {
  // The far geofence keeps every later sample from fetching.
  const Json fetched = answer({venue, metres(0, 500)});
  walkFetching(venue, fetched);
  ASSERT_EQ(journal->story, "+v0");

  relaunch();
  const auto restored = manager->currentGeofences();
  ASSERT_EQ(restored.size(), 1u);
  EXPECT_EQ(restored[0], manager->geofences()->at(0)) << "one object in the list and the set";
  EXPECT_EQ(restored[0]->venue->name, "Venue v0");
  walkFetching(chordNorthOf(venue, 20.0), fetched);
  EXPECT_EQ(journal->story, "+v0");
  walkFetching(chordNorthOf(venue, 120.0), fetched);
  EXPECT_EQ(journal->story, "+v0 -v0");

  relaunch();
  walkFetching(chordNorthOf(venue, 130.0), fetched);
  EXPECT_EQ(journal->story, "+v0 -v0");

  // Leaving while driving is written down too.
  walkFetching(venue, fetched);
  manager->processExit(chordNorthOf(venue, 100.5));
  relaunch();
  EXPECT_TRUE(manager->currentGeofences().empty());
  walkFetching(chordNorthOf(venue, 101.0), fetched);
  EXPECT_EQ(journal->story, "+v0 -v0 +v0 -v0");
  EXPECT_EQ(requests.size(), 1u);
}

struct FilterChange {
  const char* name;
  std::vector<std::shared_ptr<TRFilter>> held;
  std::vector<std::shared_ptr<TRFilter>> given;
  bool same;
};

void PrintTo(const FilterChange& c, std::ostream* out) {
  *out << c.name;
}

class GeofenceFilterChangeTest : public GeofencesTest,
                                 public ::testing::WithParamInterface<FilterChange> {};

TEST_P(GeofenceFilterChangeTest, TakesEffectWhenAnyMemberDiffers) {
  const FilterChange& c = GetParam();
  manager->updateFilters(c.held, recorder);
  walkAt(venue, {metres(0, 300)});
  ASSERT_EQ(requests.size(), 1u);

  manager->updateFilters(c.given, recorder);
  EXPECT_EQ(manager->filtersAreTheSame(c.given), true);
  EXPECT_EQ(manager->filters(), c.same ? c.held : c.given);
  EXPECT_EQ(manager->geofences().has_value(), c.same);
  EXPECT_EQ(manager->max() > 0.0, c.same);

  // A step off the spot of the last fetch: new filters bring a fetch at once.
  advanceBy(31.0);
  walkAt(metres(0, 5), {metres(0, 300)});
  EXPECT_EQ(requests.size(), c.same ? 1u : 2u);
  EXPECT_EQ(requestedFilters.back(), c.same ? c.held : c.given);
}

const auto kCafe = filter("Cafe", std::nullopt);
const auto kPub = filter("Pub", std::nullopt);
const auto kBar = filter(std::nullopt, "bar");

INSTANTIATE_TEST_SUITE_P(
    Filters, GeofenceFilterChangeTest,
    ::testing::Values(
        FilterChange{"FreshCopiesOfTheSameList", {kCafe, kBar}, {filter("Cafe", ""), kBar}, true},
        FilterChange{"CategoryAdded", {kCafe}, {filter("Cafe", "food")}, false},
        FilterChange{"CategoryDropped", {filter("Cafe", "food")}, {kCafe}, false},
        FilterChange{"NameAdded", {kBar}, {filter("Pub", "bar")}, false},
        FilterChange{
            "AddressIdAdded", {kCafe}, {filter("Cafe", std::nullopt, 100.0, "a-1")}, false},
        FilterChange{"RadiusChanged", {kCafe}, {filter("Cafe", std::nullopt, 200.0)}, false},
        FilterChange{"NameChanged", {kCafe}, {kPub}, false},
        FilterChange{"OneMore", {kCafe}, {kCafe, kPub}, false},
        FilterChange{"OneFewer", {kCafe, kPub}, {kCafe}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trevalo
