// The queries through the real transport, against a service on 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "FacadeTestSupport.h"
#include "networking/LoopbackServer.h"
#include "trevalo/platform/Application.h"
#include "trevalo/platform/linux/CurlHttpTransport.h"
#include "trevalo/utils/TRConstants.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackServer;
using testing::metres;

// The service answers every query from fixed data; it fails the first `failingUploads` user
// value uploads with status 500 and keeps the body of each upload.
class LoopbackTest : public testing::FacadeTest {
 protected:
  void SetUp() override {
    FacadeTest::SetUp();
    platform().setHttpTransport(std::make_shared<platform::CurlHttpTransport>());
    server_.emplace([this](httplib::Server& server) {
      const auto json = [](const Json& body) {
        return [body](const httplib::Request&, httplib::Response& response) {
          response.set_content(body.dump(), "application/json");
        };
      };
      server.Get("/v1/geocode/reverse_geocode", [](const httplib::Request& request,
                                                   httplib::Response& response) {
        const Json place = {{"venue", {{"id", "v1"}, {"name", request.get_param_value("lat")}}}};
        response.set_content(place.dump(), "application/json");
      });
      server.Get("/v1/search/venues",
                 json(Json::array({{{"id", "v1"}, {"name", "Cafe"}, {"address", {{"id", "a1"}}}},
                                   {{"id", "v2"}, {"name", "Bar"}, {"address", {{"id", "a2"}}}}})));
      const Json people = {{"people", Json::array({{{"device_id", "d1"}}})}};
      server.Get("/v1/venues/v1/people", json(people));
      server.Get("/v1/search/people/nearby", json(people));
      server.Get("/v1/visit-data/homework",
                 json({{"home", {{"id", "h1"}}}, {"work", {{"id", "w1"}}}}));
      server.Get("/v1/visit-data/visits",
                 json({{"visits", Json::array({{{"start_time", 1000}, {"dwell_time", 60000}}})}}));
      server.Post("/v1/logging/userdata",
                  [this](const httplib::Request& request, httplib::Response& response) {
                    const std::lock_guard lock(mutex_);
                    uploads_.push_back(Json::parse(request.body));
                    response.status = uploads_.size() <= failingUploads_ ? 500 : 200;
                    response.set_content("{}", "application/json");
                  });
    });
    TRNetworkClient::Hosts hosts;
    hosts.serviceApi = server_->url();
    hosts.peopleSearch = server_->url();
    client->setHosts(hosts);
  }
  void TearDown() override {
    FacadeTest::TearDown();
    server_.reset();
  }

  bool waitFor(const std::function<bool()>& done) { return runLoop().runUntil(done, 20s); }
  std::vector<Json> uploads() {
    const std::lock_guard lock(mutex_);
    return uploads_;
  }

  std::optional<LoopbackServer> server_;
  std::mutex mutex_;
  std::vector<Json> uploads_;
  std::size_t failingUploads_ = 1;
};

TEST_F(LoopbackTest, QueriesAreAnsweredByTheService) {
  start();
  deliver(metres(0, 0));
  tracker().handleCurrentVisitWithnewRsult(
      TRPlace::initWithDictionary(Json{{"venue", {{"id", "v1"}}}}), now());
  std::vector<std::string> answers;
  trevalo->getCurrentPlaceWithHandler([&](std::shared_ptr<TRPlace> place, std::optional<Error> e) {
    answers.push_back("place " + (e ? "error" : place->venue->name.value_or("")));
  });
  auto request = std::make_shared<TRSearchRequest>();
  trevalo->searchForPlacesWithRequest(
      request,
      [&](std::optional<std::vector<std::shared_ptr<TRPlace>>> places, std::optional<Error> e) {
        answers.push_back("venues " + (e ? "error" : std::to_string(places->size())));
      });
  trevalo->getPeopleAtCurrentVenue([&](std::optional<std::vector<std::shared_ptr<TRPerson>>> people,
                                       std::shared_ptr<TRVenue> venue, std::optional<Error> e) {
    answers.push_back("here " + (e ? "error"
                                   : people->front()->deviceId.value_or("") + " at " +
                                         venue->venueId.value_or("")));
  });
  trevalo->getPeopleNearby(
      [&](std::optional<std::vector<std::shared_ptr<TRPerson>>> people, std::optional<Error> e) {
        answers.push_back("nearby " + (e ? "error" : std::to_string(people->size())));
      });
  trevalo->getHome([&](std::shared_ptr<TRAddress> address, std::optional<Error> e) {
    answers.push_back("home " + (e ? "error" : address->addressId.value_or("")));
  });
  trevalo->getWork([&](std::shared_ptr<TRAddress> address, std::optional<Error> e) {
    answers.push_back("work " + (e ? "error" : address->addressId.value_or("")));
  });
  trevalo->getPriorVisits(
      [&](std::optional<std::vector<std::shared_ptr<TRVisit>>> visits, std::optional<Error> e) {
        answers.push_back("visits " + (e ? "error" : std::to_string(visits->size())));
      });
  ASSERT_TRUE(waitFor([&] { return answers.size() == 7; }));
  std::sort(answers.begin(), answers.end());
  EXPECT_EQ(answers, (std::vector<std::string>{"here d1 at v1", "home h1", "nearby 1",
                                               "place 48.85", "venues 2", "visits 1", "work w1"}));
}

TEST_F(LoopbackTest, AFailedUploadOfUserValuesIsSentAgainOnEnteringTheBackground) {
  start();
  std::optional<Error> failure;
  bool answered = false;
  trevalo->updateUserValues({{TRUserValueName, "Ann"}},
                            [&](std::optional<Json>, std::optional<Error> error) {
                              failure = std::move(error);
                              answered = true;
                            });
  ASSERT_TRUE(waitFor([&] { return answered; }));
  EXPECT_TRUE(failure.has_value());
  ASSERT_NE(TRUserValues::getFailedUser(), nullptr);

  platform().application().setApplicationState(platform::ApplicationState::kBackground);
  ASSERT_TRUE(waitFor([&] {
    return uploads().size() == 3 && TRUserValues::getFailedUser() == nullptr &&
           TRUserValues::getCurrentStats() != nullptr;
  }));
  // The values again (after the failure) and the statistics, in either order.
  std::size_t values = 0;
  for (const auto& upload : uploads()) {
    if (upload["info"][0] == Json{{"key", "name"}, {"value", "Ann"}}) ++values;
  }
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(TRUserValues::getSavedUser()->dictionary, (Json{{TRUserValueName, "Ann"}}));
}

}  // namespace
}  // namespace trevalo
