#include "analyzer/TRGeofencesManager.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "GeofencesTestSupport.h"
#include "platform/KeyedArchiver.h"

namespace trevalo {
namespace {

using testing::answer;
using testing::chordNorthOf;
using testing::filter;
using testing::GeofencesTest;
using testing::metres;
using Filters = TRGeofencesManager::Filters;

// Walking enters strictly inside and leaves 15 m outside; driving leaves at the radius, never
// enters and never fetches.
TEST_F(GeofencesTest, EntryAndExitMargins) {
  manager->processExit(chordNorthOf(venue, 10.0));
  EXPECT_TRUE(requests.empty());
  walkAt(chordNorthOf(venue, 99.9), {venue});
  ASSERT_EQ(recorder->entered.size(), 1u);
  walkAt(chordNorthOf(venue, 114.0), {});
  manager->processExit(chordNorthOf(venue, 99.9));
  // Invalid or NaN positions are no evidence of leaving, nor a reason to fetch.
  for (const Coordinate bad : {kCoordinateInvalid, Coordinate{std::nan(""), 0.0}}) {
    manager->processNewLocation(bad);
    manager->processExit(bad);
  }
  EXPECT_EQ(recorder->entered.size(), 1u);
  EXPECT_TRUE(recorder->exited.empty());
  walkAt(chordNorthOf(venue, 115.1), {});
  EXPECT_EQ(recorder->exited, recorder->entered);
  EXPECT_TRUE(manager->currentGeofences().empty());
  walkAt(chordNorthOf(venue, 100.0 + 1e-6), {});
  EXPECT_EQ(recorder->entered.size(), 1u);

  walkAt(venue, {});
  manager->processExit(chordNorthOf(venue, 100.1));
  manager->processExit(venue);
  EXPECT_EQ(recorder->entered.size(), 2u);
  EXPECT_EQ(recorder->exited, recorder->entered);
  EXPECT_EQ(requests.size(), 1u);
}

TEST_F(GeofencesTest, FetchesBeyondTheFarthestGeofenceAtMostOnceIn30Seconds) {
  manager->processNewLocation(metres(0, 0));
  ASSERT_EQ(requests.size(), 1u);
  // A failure moves nothing: the next location asks again, once 30 s have passed.
  requests[0](std::nullopt, Error("NSURLErrorDomain", -1009));
  EXPECT_FALSE(manager->center().isValid());
  advanceBy(30.0);
  walkAt(metres(0, 0), {});
  EXPECT_EQ(requests.size(), 1u);
  advanceBy(0.5);
  walkAt(metres(0, 0), {metres(0, 300), metres(400, 0)});
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NEAR(manager->max(), 400.0, 1e-3);

  advanceBy(60.0);
  walkAt(metres(0, 390), {});
  EXPECT_EQ(requests.size(), 2u);
  // Beyond 400 m: a fetch around the new place, whose geofences are nearer; `max` stays.
  walkAt(metres(0, 410), {metres(0, 420)});
  EXPECT_EQ(requests.size(), 3u);
  EXPECT_EQ(manager->center(), metres(0, 410));
  EXPECT_NEAR(manager->max(), 400.0, 1e-3);
}

TEST_F(GeofencesTest, UnusableFiltersAreDroppedAndAListOfOnlySuchIsInert) {
  walkAt(metres(0, 0), {metres(0, 300)});
  const auto bars = filter(std::nullopt, "bar");
  manager->updateFilters({filter("Pub", std::nullopt, 0.0), bars, filter("", "", 100.0), nullptr,
                          filter("Pub", std::nullopt, std::nan(""))},
                         recorder);
  EXPECT_EQ(manager->filters(), Filters{bars});
  EXPECT_EQ(manager->max(), 0.0);
  EXPECT_FALSE(manager->geofences());

  manager->updateFilters({filter("Pub", std::nullopt, 0.0)}, recorder);
  EXPECT_TRUE(manager->filters().empty());
  advanceBy(31.0);
  walkAt(metres(0, 0), {metres(0, 0)});
  EXPECT_EQ(requests.size(), 1u);
  EXPECT_TRUE(recorder->entered.empty());
}

TEST_F(GeofencesTest, AnAnswerForFiltersNoLongerHeldIsDropped) {
  manager->processNewLocation(venue);
  manager->updateFilters({filter(std::nullopt, "bar")}, recorder);
  requests[0](answer({venue}), std::nullopt);
  EXPECT_FALSE(manager->geofences());
  EXPECT_FALSE(std::filesystem::exists(archiveFile()));
}

TEST_F(GeofencesTest, ADamagedOrForeignArchiveGivesAFreshManager) {
  std::ofstream(archiveFile(), std::ios::binary) << "not an archive at all";
  EXPECT_FALSE(TRGeofencesManager::restoreManager()->center().isValid());
  ASSERT_TRUE(platform::KeyedArchiver::archiveRootObject(cafes, archiveFile()));
  EXPECT_TRUE(TRGeofencesManager::restoreManager()->filters().empty());
}

TEST_F(GeofencesTest, TheDelegateIsNotKeptAliveAndMayDropTheFiltersDuringAPass) {
  struct Dropping final : TRGeofenceDelegate {
    void enteredRegion(const std::shared_ptr<TRGeofence>&) override {
      ++entries;
      if (auto held = manager.lock()) held->updateFilters({}, held->delegate());
    }
    void exitedRegion(const std::shared_ptr<TRGeofence>&) override {}
    std::weak_ptr<TRGeofencesManager> manager;
    int entries = 0;
  };
  auto dropping = std::make_shared<Dropping>();
  dropping->manager = manager;
  manager->updateFilters({cafes}, dropping);
  // The pass goes on over the list it started with.
  walkAt(venue, {venue, metres(0, 10), metres(0, 20)});
  EXPECT_EQ(dropping->entries, 3);
  EXPECT_TRUE(manager->filters().empty());

  dropping.reset();
  EXPECT_FALSE(manager->delegate());
}

}  // namespace
}  // namespace trevalo
