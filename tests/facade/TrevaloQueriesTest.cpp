// The query API: checks answered at once, requests and their answers turned into records, and
// the user-values uploads with what they keep on disk.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FacadeTestSupport.h"
#include "trevalo/platform/Application.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/utils/TRConstants.h"

namespace trevalo {
namespace {

using ::testing::ElementsAre;
using testing::metres;

// What one handler was called with: "ok", "error <code>", and what came along.
struct Answer {
  int calls = 0;
  std::optional<std::int64_t> error;
  std::shared_ptr<TRPlace> place;
  std::optional<std::size_t> count;
  std::shared_ptr<TRVenue> venue;
  std::shared_ptr<TRAddress> address;
  std::optional<Json> json;

  void failed(const std::optional<Error>& failure) {
    ++calls;
    if (failure) error = failure->code();
  }
};

class QueriesTest : public testing::FacadeTest {
 protected:
  Trevalo::PlaceHandler placeInto(Answer& answer) {
    return [&answer](std::shared_ptr<TRPlace> place, std::optional<Error> error) {
      answer.place = std::move(place);
      answer.failed(error);
    };
  }
  Trevalo::PlacesHandler placesInto(Answer& answer) {
    return [&answer](std::optional<std::vector<std::shared_ptr<TRPlace>>> places,
                     std::optional<Error> error) {
      if (places) answer.count = places->size();
      answer.failed(error);
    };
  }
  Trevalo::PeopleAtVenueHandler peopleAtVenueInto(Answer& answer) {
    return [&answer](std::optional<std::vector<std::shared_ptr<TRPerson>>> people,
                     std::shared_ptr<TRVenue> venue, std::optional<Error> error) {
      if (people) answer.count = people->size();
      answer.venue = std::move(venue);
      answer.failed(error);
    };
  }
  Trevalo::PeopleHandler peopleInto(Answer& answer) {
    return [&answer](std::optional<std::vector<std::shared_ptr<TRPerson>>> people,
                     std::optional<Error> error) {
      if (people) answer.count = people->size();
      answer.failed(error);
    };
  }
  Trevalo::AddressHandler addressInto(Answer& answer) {
    return [&answer](std::shared_ptr<TRAddress> address, std::optional<Error> error) {
      answer.address = std::move(address);
      answer.failed(error);
    };
  }
  Trevalo::UserValuesHandler userValuesInto(Answer& answer) {
    return [&answer](std::optional<Json> json, std::optional<Error> error) {
      answer.json = std::move(json);
      answer.failed(error);
    };
  }
  // A visit at a venue with the given id becomes the current one.
  void visitAt(const std::string& venueId) {
    tracker().handleCurrentVisitWithnewRsult(
        TRPlace::initWithDictionary(Json{{"venue", {{"id", venueId}, {"name", "Cafe"}}}}), now());
    runUntilIdle();
  }
  void enterBackground() {
    auto& application = platform().application();
    application.setApplicationState(platform::ApplicationState::kActive);
    application.setApplicationState(platform::ApplicationState::kBackground);
    runUntilIdle();
  }
};

TEST_F(QueriesTest, ChecksThatFailAnswerAtOnceWithTheirErrorAndSendNothing) {
  auto atOrigin = std::make_shared<TRSearchRequest>();
  atOrigin->location = Location(Coordinate{0.0, 0.0});
  const auto location = Location(metres(0, 0));
  const struct {
    const char* name;
    bool running;
    std::function<void(Trevalo&, Answer&)> ask;
    std::int64_t error;
  } cases[] = {
      {"current location, stopped", false,
       [](Trevalo& t, Answer& a) {
         t.getCurrentLocationWithHandler(
             [&a](std::optional<Location>, std::optional<Error> e) { a.failed(e); });
       },
       -9998},
      {"current place, stopped", false,
       [this](Trevalo& t, Answer& a) { t.getCurrentPlaceWithHandler(placeInto(a)); }, -9998},
      {"place for nothing, stopped", false,
       [this](Trevalo& t, Answer& a) { t.getPlaceForLocation(std::nullopt, placeInto(a)); }, -9998},
      {"place for a location, stopped", false,
       [&, this](Trevalo& t, Answer& a) { t.getPlaceForLocation(location, placeInto(a)); }, -9998},
      {"current place, no fix", true,
       [this](Trevalo& t, Answer& a) { t.getCurrentPlaceWithHandler(placeInto(a)); }, -9995},
      {"place for nothing", true,
       [this](Trevalo& t, Answer& a) { t.getPlaceForLocation(std::nullopt, placeInto(a)); }, -9996},
      {"search at (0, 0), no fix", true,
       [&, this](Trevalo& t, Answer& a) { t.searchForPlacesWithRequest(atOrigin, placesInto(a)); },
       -9995},
      {"people nearby, no fix", true,
       [this](Trevalo& t, Answer& a) { t.getPeopleNearby(peopleInto(a)); }, -9995},
      {"people here, no visit", true,
       [this](Trevalo& t, Answer& a) { t.getPeopleAtCurrentVenue(peopleAtVenueInto(a)); }, -9993},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    relaunch();
    if (c.running) start();
    Answer answer;
    c.ask(*trevalo, answer);
    EXPECT_EQ(answer.calls, 1);
    EXPECT_EQ(answer.error, c.error);
    EXPECT_EQ(transport().sentCount(), 0u);
  }

  // A visit whose venue has no id is no current venue either.
  visitAt("");
  Answer answer;
  trevalo->getPeopleAtCurrentVenue(peopleAtVenueInto(answer));
  EXPECT_EQ(answer.error, -9993);
  EXPECT_EQ(transport().sentCount(), 0u);
}

TEST_F(QueriesTest, PlacesComeFromTheReverseGeocodeOfTheBestOrTheGivenLocation) {
  start();
  deliver(metres(0, 0));
  Answer current;
  trevalo->getCurrentPlaceWithHandler(placeInto(current));
  Answer given;
  trevalo->getPlaceForLocation(Location(Coordinate{51.5, -0.1}), placeInto(given));
  EXPECT_THAT(sentPaths(),
              ElementsAre("GET /v1/geocode/reverse_geocode?lat=48.85&lng=2.35&api_token=token",
                          "GET /v1/geocode/reverse_geocode?lat=51.5&lng=-0.1&api_token=token"));
  answer(200, {{"venue", {{"id", "v1"}, {"name", "Cafe"}}}});
  answer(503);
  EXPECT_EQ(current.calls, 1);
  EXPECT_EQ(current.error, std::nullopt);
  EXPECT_EQ(current.place->venue->name, "Cafe");
  EXPECT_EQ(given.calls, 1);
  EXPECT_TRUE(given.error.has_value());
  EXPECT_EQ(given.place, nullptr);
}

TEST_F(QueriesTest, VenueSearchesNeedAListAndFallBackOnTheBestLocation) {
  start();
  deliver(metres(0, 0));
  const struct {
    const char* name;
    int status;
    Json body;
    std::optional<std::size_t> count;
    bool failed;
    std::optional<std::int64_t> error;
  } cases[] = {
      {"a list", 200, Json::array({{{"id", "v1"}, {"address", {{"id", "a1"}}}}}), 1, false, {}},
      {"an empty list", 200, Json::array(), 0, false, {}},
      {"a map", 200, Json::object(), std::nullopt, true, -9994},
      {"a server failure", 500, Json(), std::nullopt, true, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto request = std::make_shared<TRSearchRequest>();
    request->query = "coffee";
    Answer answer;
    trevalo->searchForPlacesWithRequest(request, placesInto(answer));
    // The request without a location of its own searches around the best location.
    ASSERT_TRUE(request->location.has_value());
    EXPECT_EQ(request->location->coordinate(), metres(0, 0));
    this->answer(c.status, c.body);
    EXPECT_EQ(answer.calls, 1);
    EXPECT_EQ(answer.count, c.count);
    EXPECT_EQ(answer.error.has_value(), c.failed);
    if (c.error) {
      EXPECT_EQ(answer.error, c.error);
    }
  }
  EXPECT_THROW(trevalo->searchForVenues(nullptr, nullptr), Exception);
}

TEST_F(QueriesTest, PeopleHomeWorkAndVisitsAreAskedForAndConverted) {
  start();
  deliver(metres(0, 0));
  platform().advertisingIdentifierText().set("DEVICE-1");
  visitAt("v1");
  Answer here, nearby, home, work, visits;
  trevalo->getPeopleAtCurrentVenue(peopleAtVenueInto(here));
  trevalo->getPeopleNearby(peopleInto(nearby));
  trevalo->getHome(addressInto(home));
  trevalo->getWork(addressInto(work));
  trevalo->getPriorVisits(
      [&](std::optional<std::vector<std::shared_ptr<TRVisit>>> list, std::optional<Error> e) {
        if (list) visits.count = list->size();
        visits.failed(e);
      });
  const auto paths = sentPaths();
  ASSERT_EQ(paths.size(), 5u);
  EXPECT_EQ(paths[0], "GET /v1/venues/v1/people?api_token=token");
  EXPECT_EQ(paths[1].substr(0, 33), "GET /v1/search/people/nearby?api_");
  EXPECT_EQ(paths[2], "GET /v1/visit-data/homework?device_id=DEVICE-1&api_token=token");
  EXPECT_EQ(paths[3], paths[2]);
  EXPECT_EQ(paths[4], "GET /v1/visit-data/visits?device_id=DEVICE-1&api_token=token");

  const Json people = {{"people", Json::array({{{"device_id", "d1"}}, {{"device_id", "d2"}}})}};
  answer(200, people);
  answer(200, people);
  const Json homeWork = {{"home", {{"id", "h"}, {"city", "Paris"}}},
                         {"work", {{"id", "w"}, {"city", "Lyon"}}}};
  answer(200, homeWork);
  answer(200, homeWork);
  answer(200, {{"visits", Json::array({{{"start_time", 1000}}})}});
  EXPECT_EQ(here.count, 2u);
  ASSERT_NE(here.venue, nullptr);
  EXPECT_EQ(here.venue->venueId, "v1");
  EXPECT_EQ(nearby.count, 2u);
  EXPECT_EQ(home.address->addressId, "h");
  EXPECT_EQ(work.address->addressId, "w");
  EXPECT_EQ(visits.count, 1u);
}

TEST_F(QueriesTest, UserValuesAreSentOnceAndAFailedUploadWaitsForTheBackground) {
  start();
  const Json values = {{TRUserValueName, "Ann"}, {TRUserValueAge, 30}, {"shoe size", 38}};
  Answer first;
  trevalo->updateUserValues(values, userValuesInto(first));
  ASSERT_EQ(transport().pendingCount(), 1u);
  const auto body = bodyOf(transport().pendingRequests()[0].request);
  EXPECT_EQ(body["info"], Json::parse(R"([{"key": "name", "value": "Ann"},
                                          {"key": "age", "value": 30}])"));
  answer(200, {{"ok", true}});
  EXPECT_EQ(first.calls, 1);
  EXPECT_EQ(first.json, (Json{{"ok", true}}));
  EXPECT_EQ(first.error, std::nullopt);

  // The same values again: nothing to send.
  Answer again;
  trevalo->updateUserValues(values, userValuesInto(again));
  EXPECT_EQ(again.calls, 1);
  EXPECT_EQ(again.json, std::nullopt);
  EXPECT_EQ(again.error, std::nullopt);
  EXPECT_EQ(transport().pendingCount(), 0u);

  // A change that fails to go out is kept, merged with the next change, and goes out with the
  // next entry into the background.
  trevalo->updateUserValues({{TRUserValueAge, 31}});
  answer(500);
  trevalo->updateUserValues({{TRUserValueGender, "f"}});
  answer(500);
  ASSERT_NE(TRUserValues::getFailedUser(), nullptr);
  EXPECT_EQ(TRUserValues::getFailedUser()->dictionary,
            (Json{{TRUserValueAge, 31}, {TRUserValueGender, "f"}}));
  const auto sentBefore = transport().sentCount();
  enterBackground();
  const auto sent = transport().sentRequests();
  ASSERT_EQ(sent.size(), sentBefore + 2);  // the values, and the statistics never sent
  EXPECT_EQ(bodyOf(sent[sentBefore])["info"],
            Json::parse(R"([{"key": "age", "value": 31}, {"key": "gender", "value": "f"}])"));
  EXPECT_EQ(bodyOf(sent[sentBefore + 1])["info"][0]["key"], "os");
  answer(200);
  answer(200);
  EXPECT_EQ(TRUserValues::getFailedUser(), nullptr);
  EXPECT_EQ(TRUserValues::getSavedUser()->dictionary[TRUserValueAge], 31);
  ASSERT_NE(TRUserValues::getCurrentStats(), nullptr);
  EXPECT_TRUE(TRUserValues::getCurrentStats()->isValid());

  // Nothing waits any more.
  enterBackground();
  EXPECT_EQ(transport().sentCount(), sentBefore + 2);
}

TEST_F(QueriesTest, WithoutATokenTheBackgroundSendsNothingAndUploadsAreRefused) {
  TRUserValues::saveFailedUser(TRUserValues::initWithDictionary({{TRUserValueName, "Ann"}}, true));
  enterBackground();
  EXPECT_EQ(transport().sentCount(), 0u);
  EXPECT_NE(TRUserValues::getFailedUser(), nullptr);
  EXPECT_THROW(trevalo->updateUserValues({{TRUserValueName, "Bob"}}), Exception);
  EXPECT_THROW(trevalo->updateStats(TRUserValues::actualStatsValues()), Exception);

  // Once started, the next entry into the background sends it.
  start();
  enterBackground();
  EXPECT_THAT(sentPaths(), ElementsAre("POST /v1/logging/userdata?api_token=token",
                                       "POST /v1/logging/userdata?api_token=token"));
}

TEST_F(QueriesTest, StatisticsAreKeptOnlyOnceSent) {
  start();
  const auto stats = TRUserValues::actualStatsValues();
  trevalo->updateStats(stats);
  answer(500);
  EXPECT_EQ(TRUserValues::getCurrentStats(), nullptr);
  trevalo->updateStats(stats);
  answer(200);
  ASSERT_NE(TRUserValues::getCurrentStats(), nullptr);
  EXPECT_EQ(TRUserValues::getCurrentStats()->dictionary, stats->dictionary);
  EXPECT_THAT(TRUserValues::getSavedUser(), ::testing::IsNull());
}

}  // namespace
}  // namespace trevalo
