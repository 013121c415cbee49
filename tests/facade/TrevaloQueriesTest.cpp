// The query API: checks answered at once, requests and their answers turned into records, and
// the user-values uploads with what they keep on disk.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "FacadeTestSupport.h"
#include "trevalo/platform/Application.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/utils/TRConstants.h"

namespace trevalo {
namespace {

using ::testing::ElementsAre;
using testing::metres;

// A handler for any query: writes down "ok" or "error <code>" (the error comes last).
auto noting(std::vector<std::string>& notes) {
  return [&notes](const auto&... arguments) {
    const auto& error = std::get<sizeof...(arguments) - 1>(std::tie(arguments...));
    notes.push_back(error ? "error " + std::to_string(error->code()) : "ok");
  };
}

class QueriesTest : public testing::FacadeTest {
 protected:
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
  const struct {
    const char* name;
    bool running;
    std::function<void(Trevalo&, std::vector<std::string>&)> ask;
    const char* answer;
  } cases[] = {
      {"location, stopped", false,
       [](Trevalo& t, auto& n) { t.getCurrentLocationWithHandler(noting(n)); }, "error -9998"},
      {"place, stopped", false,
       [](Trevalo& t, auto& n) { t.getCurrentPlaceWithHandler(noting(n)); }, "error -9998"},
      {"place for nothing, stopped", false,
       [](Trevalo& t, auto& n) { t.getPlaceForLocation(std::nullopt, noting(n)); }, "error -9998"},
      {"place for a location, stopped", false,
       [](Trevalo& t, auto& n) { t.getPlaceForLocation(Location(metres(0, 0)), noting(n)); },
       "error -9998"},
      {"place, no fix", true, [](Trevalo& t, auto& n) { t.getCurrentPlaceWithHandler(noting(n)); },
       "error -9995"},
      {"place for nothing", true,
       [](Trevalo& t, auto& n) { t.getPlaceForLocation(std::nullopt, noting(n)); }, "error -9996"},
      {"search at (0, 0), no fix", true,
       [&](Trevalo& t, auto& n) { t.searchForPlacesWithRequest(atOrigin, noting(n)); },
       "error -9995"},
      {"people nearby, no fix", true, [](Trevalo& t, auto& n) { t.getPeopleNearby(noting(n)); },
       "error -9995"},
      {"people here, no visit", true,
       [](Trevalo& t, auto& n) { t.getPeopleAtCurrentVenue(noting(n)); }, "error -9993"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    relaunch();
    if (c.running) start();
    std::vector<std::string> notes;
    c.ask(*trevalo, notes);
    EXPECT_THAT(notes, ElementsAre(c.answer));
    EXPECT_EQ(transport().sentCount(), 0u);
  }
  // A visit whose venue has no id is no current venue either.
  tracker().handleCurrentVisitWithnewRsult(TRPlace::initWithDictionary(Json::object()), now());
  std::vector<std::string> notes;
  trevalo->getPeopleAtCurrentVenue(noting(notes));
  EXPECT_THAT(notes, ElementsAre("error -9993"));
  EXPECT_EQ(transport().sentCount(), 0u);
}

TEST_F(QueriesTest, PlacesComeFromTheBestOrTheGivenLocationAndSearchesNeedAList) {
  start();
  deliver(metres(0, 0));
  std::vector<std::string> places;
  const auto naming = [&](std::shared_ptr<TRPlace> place, std::optional<Error> error) {
    places.push_back(error ? "error" : place->venue->name.value_or(""));
  };
  trevalo->getCurrentPlaceWithHandler(naming);
  trevalo->getPlaceForLocation(Location(Coordinate{51.5, -0.1}), naming);
  EXPECT_THAT(sentPaths(),
              ElementsAre("GET /v1/geocode/reverse_geocode?lat=48.85&lng=2.35&api_token=token",
                          "GET /v1/geocode/reverse_geocode?lat=51.5&lng=-0.1&api_token=token"));
  answer(200, {{"venue", {{"id", "v1"}, {"name", "Cafe"}}}});
  answer(503);
  EXPECT_THAT(places, ElementsAre("Cafe", "error"));

  const std::pair<Json, std::string> searches[] = {
      {Json::array({{{"id", "v1"}}, {{"id", "v2"}}}), "2 places"},
      {Json::array(), "0 places"},
      {Json::object(), "error -9994"},
  };
  for (const auto& [body, expected] : searches) {
    auto request = std::make_shared<TRSearchRequest>();
    std::string result;
    trevalo->searchForPlacesWithRequest(
        request, [&](std::optional<std::vector<std::shared_ptr<TRPlace>>> found,
                     std::optional<Error> error) {
          result = error ? "error " + std::to_string(error->code())
                         : std::to_string(found->size()) + " places";
        });
    // A request without a location of its own searches around the best location.
    EXPECT_EQ(request->location.value_or(Location(Coordinate{})).coordinate(), metres(0, 0));
    answer(200, body);
    EXPECT_EQ(result, expected);
  }
  EXPECT_THROW(trevalo->searchForVenues(nullptr, nullptr), Exception);
}

TEST_F(QueriesTest, PeopleHomeWorkAndVisitsAreAskedForAndConverted) {
  start();
  deliver(metres(0, 0));
  platform().advertisingIdentifierText().set("DEVICE-1");
  tracker().handleCurrentVisitWithnewRsult(
      TRPlace::initWithDictionary(Json{{"venue", {{"id", "v1"}}}}), now());
  std::vector<std::string> answers;
  trevalo->getPeopleAtCurrentVenue([&](auto people, auto venue, auto) {
    answers.push_back(std::to_string(people->size()) + " at " + *venue->venueId);
  });
  trevalo->getPeopleNearby([&](auto people, auto) {
    answers.push_back(std::to_string(people.value().size()) + " nearby");
  });
  trevalo->getHome([&](auto address, auto) { answers.push_back("home " + *address->addressId); });
  trevalo->getWork([&](auto address, auto) { answers.push_back("work " + *address->addressId); });
  trevalo->getPriorVisits([&](auto visits, auto) {
    answers.push_back(std::to_string(visits.value().size()) + " visits");
  });
  const auto paths = sentPaths();
  ASSERT_EQ(paths.size(), 5u);
  EXPECT_EQ(paths[0], "GET /v1/venues/v1/people?api_token=token");
  EXPECT_EQ(paths[1], "GET /v1/search/people/nearby?api_token=token&lat=48.85&lng=2.35");
  // Home and work each ask the same endpoint.
  EXPECT_EQ(paths[2], "GET /v1/visit-data/homework?device_id=DEVICE-1&api_token=token");
  EXPECT_EQ(paths[3], paths[2]);
  EXPECT_EQ(paths[4], "GET /v1/visit-data/visits?device_id=DEVICE-1&api_token=token");

  const Json people = {{"people", Json::array({{{"device_id", "d1"}}, {{"device_id", "d2"}}})}};
  const Json homeWork = {{"home", {{"id", "h"}}}, {"work", {{"id", "w"}}}};
  for (const Json& body :
       {people, people, homeWork, homeWork, Json{{"visits", Json::array({Json::object()})}}}) {
    answer(200, body);
  }
  EXPECT_THAT(answers, ElementsAre("2 at v1", "2 nearby", "home h", "work w", "1 visits"));
}

TEST_F(QueriesTest, UserValuesAreSentOnceAndAFailedUploadWaitsForTheBackground) {
  start();
  const Json values = {{TRUserValueName, "Ann"}, {TRUserValueAge, 30}, {"shoe size", 38}};
  std::vector<std::string> notes;
  trevalo->updateUserValues(values, noting(notes));
  ASSERT_EQ(transport().pendingCount(), 1u);
  EXPECT_EQ(bodyOf(transport().pendingRequests()[0].request)["info"],
            Json::parse(R"([{"key": "name", "value": "Ann"}, {"key": "age", "value": 30}])"));
  answer(200);
  // The same values again: nothing to send, and the handler hears nothing went wrong.
  trevalo->updateUserValues(values, noting(notes));
  EXPECT_THAT(notes, ElementsAre("ok", "ok"));
  EXPECT_EQ(transport().sentCount(), 1u);

  // Changes that fail to go out are kept, merged, and go out at the next entry into the
  // background, together with the statistics never sent.
  trevalo->updateUserValues({{TRUserValueAge, 31}});
  answer(500);
  trevalo->updateUserValues({{TRUserValueGender, "f"}});
  answer(500);
  EXPECT_EQ(TRUserValues::getFailedUser()->dictionary,
            (Json{{TRUserValueAge, 31}, {TRUserValueGender, "f"}}));
  enterBackground();
  const auto sent = transport().sentRequests();
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(bodyOf(sent[3])["info"].size(), 2u);
  EXPECT_EQ(bodyOf(sent[4])["info"][0]["key"], "os");
  answer(200);
  answer(200);
  EXPECT_EQ(TRUserValues::getFailedUser(), nullptr);
  EXPECT_EQ(TRUserValues::getSavedUser()->dictionary[TRUserValueGender], "f");
  EXPECT_TRUE(TRUserValues::getCurrentStats()->isValid());
  enterBackground();  // nothing waits any more
  EXPECT_EQ(transport().sentCount(), 5u);
}

TEST_F(QueriesTest, WithoutATokenNothingIsSentAndStatisticsAreKeptOnlyOnceSent) {
  TRUserValues::saveFailedUser(TRUserValues::initWithDictionary({{TRUserValueName, "Ann"}}, true));
  enterBackground();
  EXPECT_EQ(transport().sentCount(), 0u);
  EXPECT_THROW(trevalo->updateUserValues({{TRUserValueName, "Bob"}}), Exception);
  EXPECT_THROW(trevalo->updateStats(TRUserValues::actualStatsValues()), Exception);

  start();
  trevalo->updateStats(TRUserValues::actualStatsValues());
  answer(500);
  EXPECT_EQ(TRUserValues::getCurrentStats(), nullptr);
  // Once started, the next entry into the background sends what waits.
  enterBackground();
  EXPECT_EQ(bodyOf(transport().pendingRequests()[0].request)["info"][0]["value"], "Ann");
  answer(200);
  answer(200);
  EXPECT_EQ(TRUserValues::getCurrentStats()->dictionary,
            TRUserValues::actualStatsValues()->dictionary);
}

}  // namespace
}  // namespace trevalo
