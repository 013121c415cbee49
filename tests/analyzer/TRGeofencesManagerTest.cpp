#include "trevalo/analyzer/TRGeofencesManager.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "AnalyzerTestSupport.h"
#include "trevalo/networking/TRNetworkClient.h"
#include "trevalo/platform/KeyedArchiver.h"
#include "trevalo/platform/SimulatedHttpTransport.h"

namespace trevalo {
namespace {

using testing::chordNorthOf;
using testing::metres;
using Filters = TRGeofencesManager::Filters;

std::shared_ptr<TRFilter> filter(std::optional<std::string> name,
                                 std::optional<std::string> category, double radius = 100.0) {
  auto made = std::make_shared<TRFilter>();
  made->venueName = std::move(name);
  made->venueCategory = std::move(category);
  made->radius = radius;
  return made;
}

// The service's answer: one venue per center.
Json answer(const std::vector<Coordinate>& centers) {
  Json list = Json::array();
  for (std::size_t i = 0; i < centers.size(); ++i) {
    list.push_back(
        {{"id", "v" + std::to_string(i)},
         {"name", "Venue " + std::to_string(i)},
         {"address",
          {{"location",
            {{"latitude", centers[i].latitude}, {"longitude", centers[i].longitude}}}}}});
  }
  return list;
}

class GeofencesTest : public testing::PlatformTest {
 protected:
  struct Request {
    Coordinate center;
    Filters filters;
    TRGeofencesManager::FetchCompletion complete;
  };

  void SetUp() override {
    PlatformTest::SetUp();
    runUntilIdle();
    manager->setFetchGeofences([this](Coordinate center, const Filters& filters,
                                      TRGeofencesManager::FetchCompletion complete) {
      requests.push_back({center, filters, complete});
      if (nextAnswer) complete(std::exchange(nextAnswer, std::nullopt), std::nullopt);
    });
    manager->updateFilters({cafes}, recorder);
  }

  // A walking sample at `where` whose fetch, if one is made, is answered at once with
  // `centers`, before the sample is tested against them.
  void walkAt(Coordinate where, const std::vector<Coordinate>& centers) {
    nextAnswer = answer(centers);
    manager->processNewLocation(where);
    nextAnswer.reset();
  }

  std::filesystem::path archiveFile() const {
    return documentsDirectory() / TRGeofencesManager::kArchiveFileName;
  }

  const Coordinate venue = metres(0, 0);
  std::shared_ptr<TRFilter> cafes = filter("Cafe", std::nullopt);
  std::shared_ptr<testing::Recorder> recorder = std::make_shared<testing::Recorder>(Date());
  std::shared_ptr<TRGeofencesManager> manager = TRGeofencesManager::make();
  std::vector<Request> requests;
  std::optional<Json> nextAnswer;
};

TEST_F(GeofencesTest, WalkingEntersStrictlyInsideAndLeavesFifteenMetresOutside) {
  walkAt(chordNorthOf(venue, 99.9), {venue});
  ASSERT_EQ(recorder->entered.size(), 1u);
  EXPECT_EQ(recorder->entered[0]->center, venue);
  EXPECT_EQ(manager->currentGeofences(), recorder->entered);
  // Inside again: no second entry. At 114 m: still inside.
  walkAt(chordNorthOf(venue, 50.0), {});
  walkAt(chordNorthOf(venue, 114.0), {});
  EXPECT_EQ(recorder->entered.size(), 1u);
  EXPECT_TRUE(recorder->exited.empty());
  walkAt(chordNorthOf(venue, 115.1), {});
  EXPECT_EQ(recorder->exited, recorder->entered);
  EXPECT_TRUE(manager->currentGeofences().empty());
  // Exactly on the radius is not inside.
  walkAt(chordNorthOf(venue, 100.0 + 1e-6), {});
  EXPECT_EQ(recorder->entered.size(), 1u);
}

TEST_F(GeofencesTest, DrivingLeavesWithoutMarginAndNeverEntersOrFetches) {
  manager->processExit(chordNorthOf(venue, 10.0));
  EXPECT_TRUE(requests.empty());
  walkAt(chordNorthOf(venue, 99.9), {venue, metres(0, 400)});
  ASSERT_EQ(recorder->entered.size(), 1u);
  manager->processExit(chordNorthOf(venue, 99.9));
  EXPECT_TRUE(recorder->exited.empty());
  manager->processExit(chordNorthOf(venue, 100.1));
  EXPECT_EQ(recorder->exited, recorder->entered);
  manager->processExit(metres(0, 400));
  EXPECT_EQ(recorder->entered.size(), 1u);
  EXPECT_EQ(requests.size(), 1u);
}

TEST_F(GeofencesTest, TheFirstLocationFetchesAndThenOnlyBeyondTheFarthestGeofence) {
  walkAt(metres(0, 0), {metres(0, 300), metres(400, 0)});
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].center, metres(0, 0));
  EXPECT_EQ(requests[0].filters, Filters{cafes});
  EXPECT_EQ(manager->center(), metres(0, 0));
  EXPECT_NEAR(manager->max(), 400.0, 1e-3);
  EXPECT_TRUE(std::filesystem::exists(archiveFile()));

  advanceBy(60.0);
  walkAt(metres(0, 390), {});
  EXPECT_EQ(requests.size(), 1u);
  // Beyond 400 m: a fetch around the new place, whose geofences are nearer; `max` stays.
  walkAt(metres(0, 410), {metres(0, 420)});
  EXPECT_EQ(requests.size(), 2u);
  EXPECT_EQ(manager->center(), metres(0, 410));
  EXPECT_NEAR(manager->max(), 400.0, 1e-3);
  ASSERT_TRUE(manager->geofences());
  EXPECT_EQ(manager->geofences()->size(), 1u);
}

TEST_F(GeofencesTest, RequestsAreRateLimitedAndOnlyAnAnswerMovesTheCenter) {
  manager->processNewLocation(metres(0, 0));
  ASSERT_EQ(requests.size(), 1u);
  bool completed = false;
  requests[0].complete(std::nullopt, Error("NSURLErrorDomain", -1009));
  EXPECT_FALSE(manager->geofences());
  EXPECT_FALSE(manager->center().isValid());
  EXPECT_FALSE(std::filesystem::exists(archiveFile()));

  advanceBy(10.0);
  manager->reloadGeofencesIfNeeded(metres(0, 0), [&] { completed = true; });
  EXPECT_EQ(requests.size(), 1u);
  advanceBy(20.0);
  manager->processNewLocation(metres(0, 0));
  EXPECT_EQ(requests.size(), 1u);  // 30 s is not more than 30 s
  advanceBy(0.5);
  manager->reloadGeofencesIfNeeded(metres(0, 0), [&] { completed = true; });
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(manager->lastRequestSentOn(), now());
  // An answer that is not a list is an answer: no geofences, but the center moves.
  requests[1].complete(Json{{"error", "nope"}}, std::nullopt);
  EXPECT_TRUE(completed);
  EXPECT_FALSE(manager->geofences());
  EXPECT_EQ(manager->center(), metres(0, 0));
  EXPECT_EQ(manager->max(), 0.0);
}

TEST_F(GeofencesTest, SameFiltersKeepTheGeofencesOthersStartAfresh) {
  walkAt(metres(0, 0), {metres(0, 300)});
  const double max = manager->max();
  ASSERT_GT(max, 0.0);

  EXPECT_TRUE(manager->filtersAreTheSame({filter("Cafe", std::nullopt)}));
  manager->updateFilters({filter("Cafe", "food")}, recorder);
  EXPECT_EQ(manager->max(), max);
  EXPECT_EQ(manager->filters(), Filters{cafes});

  // The held filter judges: one with only a radius would accept anything, but it is the held
  // "Cafe" filter that is asked, and it wants the name.
  EXPECT_FALSE(manager->filtersAreTheSame({filter(std::nullopt, std::nullopt)}));
  EXPECT_FALSE(manager->filtersAreTheSame({}));
  EXPECT_FALSE(manager->filtersAreTheSame({cafes, cafes}));

  const auto bars = filter(std::nullopt, "bar");
  manager->updateFilters({filter("Pub", std::nullopt, 0.0), bars, filter("", "", 100.0), nullptr},
                         recorder);
  EXPECT_EQ(manager->filters(), Filters{bars});
  EXPECT_EQ(manager->max(), 0.0);
  EXPECT_FALSE(manager->geofences());
  EXPECT_EQ(manager->center(), metres(0, 0));
}

TEST_F(GeofencesTest, WithoutUsableFiltersTheManagerIsInert) {
  for (const Filters& unusable :
       {Filters{}, Filters{filter("Cafe", std::nullopt, 0.0)}, Filters{filter("", std::nullopt)},
        Filters{filter("Cafe", std::nullopt, std::nan(""))}}) {
    manager->updateFilters(unusable, recorder);
    EXPECT_TRUE(manager->filters().empty());
    manager->processNewLocation(venue);
    manager->processExit(metres(0, 5000));
  }
  EXPECT_TRUE(requests.empty());
  EXPECT_TRUE(recorder->events.empty());
}

TEST_F(GeofencesTest, AnAnswerForFiltersNoLongerHeldIsDropped) {
  manager->processNewLocation(venue);
  manager->updateFilters({filter(std::nullopt, "bar")}, recorder);
  requests[0].complete(answer({venue}), std::nullopt);
  EXPECT_FALSE(manager->geofences());
  EXPECT_FALSE(std::filesystem::exists(archiveFile()));
}

TEST_F(GeofencesTest, InvalidCoordinatesAreIgnoredByBothPasses) {
  walkAt(venue, {venue});
  ASSERT_EQ(recorder->entered.size(), 1u);
  for (const Coordinate bad : {kCoordinateInvalid, Coordinate{std::nan(""), 0.0}}) {
    manager->processNewLocation(bad);
    manager->processExit(bad);
  }
  EXPECT_EQ(requests.size(), 1u);
  EXPECT_TRUE(recorder->exited.empty());
}

TEST_F(GeofencesTest, TheArchiveRestoresEverythingWithOneObjectPerGeofence) {
  walkAt(chordNorthOf(venue, 20.0), {metres(0, 300), venue, metres(0, 30)});
  ASSERT_EQ(manager->currentGeofences().size(), 2u);
  // The current set is written with the next fetch; here, by hand.
  ASSERT_TRUE(manager->saveGeofences());

  const auto restored = TRGeofencesManager::restoreManager();
  ASSERT_NE(restored, manager);
  const auto geofences = restored->geofences();
  ASSERT_TRUE(geofences);
  ASSERT_EQ(geofences->size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ((*geofences)[i]->center, (*manager->geofences())[i]->center);
    EXPECT_EQ((*geofences)[i]->venue->name, (*manager->geofences())[i]->venue->name);
  }
  EXPECT_EQ(restored->center(), manager->center());
  EXPECT_EQ(restored->max(), manager->max());
  ASSERT_EQ(restored->filters().size(), 1u);
  EXPECT_EQ(restored->filters()[0]->venueName, "Cafe");
  EXPECT_FALSE(restored->lastRequestSentOn());
  EXPECT_FALSE(restored->delegate());
  // Identity: the current set holds the very objects of the list, so walking out of them is
  // noticed after a restart.
  EXPECT_EQ(restored->currentGeofences(),
            (TRGeofencesManager::Geofences{(*geofences)[1], (*geofences)[2]}));
  restored->updateFilters({cafes}, recorder);
  restored->processNewLocation(metres(0, 500));
  EXPECT_EQ(recorder->exited, (TRGeofencesManager::Geofences{(*geofences)[1], (*geofences)[2]}));
}

TEST_F(GeofencesTest, ADamagedOrForeignArchiveGivesAFreshManager) {
  {
    std::ofstream out(archiveFile(), std::ios::binary);
    out << "not an archive at all";
  }
  auto restored = TRGeofencesManager::restoreManager();
  EXPECT_FALSE(restored->geofences());
  EXPECT_FALSE(restored->center().isValid());
  EXPECT_TRUE(restored->filters().empty());

  ASSERT_TRUE(platform::KeyedArchiver::archiveRootObject(cafes, archiveFile()));
  restored = TRGeofencesManager::restoreManager();
  EXPECT_TRUE(restored->filters().empty());
}

TEST_F(GeofencesTest, TheDelegateIsNotKeptAliveAndMayCallBackDuringAPass) {
  // A delegate that drops the filters as soon as it hears of an entry: the pass goes on over
  // the list it started with.
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
  walkAt(venue, {venue, metres(0, 10), metres(0, 20)});
  EXPECT_EQ(dropping->entries, 3);
  EXPECT_TRUE(manager->filters().empty());

  std::weak_ptr<Dropping> watched = dropping;
  dropping.reset();
  EXPECT_TRUE(watched.expired());
  EXPECT_FALSE(manager->delegate());
}

TEST_F(GeofencesTest, TheDefaultFetchAsksTheServiceAndARefusalFailsOnTheRunLoop) {
  // Without a token the client refuses outright; the manager sees a failure, later, on the run
  // loop, and keeps its rate limit.
  const auto fresh = TRGeofencesManager::make();
  fresh->updateFilters({cafes}, recorder);
  fresh->processNewLocation(venue);
  EXPECT_EQ(platform().simulatedHttpTransport().sentCount(), 0u);
  runUntilIdle();
  EXPECT_FALSE(fresh->geofences());
  EXPECT_EQ(fresh->lastRequestSentOn(), now());

  // With a token the service is asked and its answer lands in the manager.
  TRNetworkClient::instance()->setApiKey("token");
  advanceBy(31.0);
  fresh->processNewLocation(venue);
  ASSERT_EQ(platform().simulatedHttpTransport().pendingCount(), 1u);
  const auto request = platform().simulatedHttpTransport().pendingRequests()[0].request;
  EXPECT_NE(request.url.find("/v1/venues/geofences?api_token=token"), std::string::npos);
  ASSERT_TRUE(platform().simulatedHttpTransport().respondToNext(
      platform::SimulatedHttpTransport::response(200, answer({venue}).dump())));
  runUntilIdle();
  ASSERT_TRUE(fresh->geofences());
  EXPECT_EQ(fresh->geofences()->size(), 1u);
  TRNetworkClient::instance()->setApiKey("");
}

}  // namespace
}  // namespace trevalo
