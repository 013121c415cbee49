#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/PlatformTest.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/visits/operations/TROperationFactory.h"
#include "visits/VisitTestSupport.h"

namespace trevalo {
namespace {

using platform::SimulatedHttpTransport;
using ::testing::Eq;
using ::testing::InSequence;
using ::testing::Invoke;
using ::testing::Optional;
using ::testing::Property;

class MockOperationDelegate : public TROperationDelegate {
 public:
  MOCK_METHOD(void, didGeocodeVenueByLocationsForResult,
              (std::optional<Json>, const std::shared_ptr<MetaOperationGetVenueByLocations>&,
               std::optional<Error>),
              (override));
  MOCK_METHOD(void, didGeocodeAppleVenueByLocationForResult,
              (std::optional<std::vector<platform::Placemark>>,
               const std::shared_ptr<MetaOperationGetAppleVenue>&, std::optional<Error>),
              (override));
  MOCK_METHOD(void, didFinishDepartOperationWithError, (std::optional<Error>), (override));
  MOCK_METHOD(void, removeFromOperation, (const std::shared_ptr<MetaOperationBase>&), (override));
};

auto errorCode(std::int64_t code) {
  return Optional(Property(&Error::code, code));
}

class TROperationTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    client_->setApiKey("token");
    queue_ = std::make_unique<platform::OperationQueue>();
  }
  void TearDown() override {
    queue_.reset();
    PlatformTest::TearDown();
  }

  std::shared_ptr<TROperationBase> operationFor(const std::shared_ptr<MetaOperationBase>& meta) {
    return TROperationFactory::operationFor(meta, client_, delegate_);
  }
  SimulatedHttpTransport& transport() const { return platform().simulatedHttpTransport(); }
  void answer(int status, std::string_view body = "") {
    ASSERT_TRUE(transport().respondToNext(SimulatedHttpTransport::response(status, body)));
    runUntilIdle();
  }
  std::string sentBody(std::size_t index) const {
    const auto bytes = transport().sentRequests().at(index).body.value();
    return std::string(bytes.begin(), bytes.end());
  }

  std::shared_ptr<TRNetworkClient> client_ = std::make_shared<TRNetworkClient>();
  std::shared_ptr<::testing::StrictMock<MockOperationDelegate>> delegate_ =
      std::make_shared<::testing::StrictMock<MockOperationDelegate>>();
  std::unique_ptr<platform::OperationQueue> queue_;
  std::shared_ptr<MetaOperationGetVenueByLocations> stay_ =
      std::make_shared<MetaOperationGetVenueByLocations>(
          std::weak_ptr<VisitTracker>(), testing::stayAt(40.7, -73.9), Date(100), std::nullopt);
};

TEST_F(TROperationTest, AFailureLeavesItQueuedToRunAgainAndASuccessIsReportedBeforeItFinishes) {
  const auto operation = operationFor(stay_);
  queue_->addOperation(operation);
  runUntilIdle();
  EXPECT_TRUE(operation->isExecuting());
  ASSERT_EQ(transport().sentCount(), 1u);

  EXPECT_CALL(*delegate_,
              didGeocodeVenueByLocationsForResult(Eq(std::nullopt), Eq(stay_), errorCode(-9992)));
  answer(500);
  EXPECT_FALSE(operation->isExecuting() || operation->isFinished());
  EXPECT_EQ(queue_->operationCount(), 1u);
  advanceBy(3600);  // the queue does not start it again by itself
  EXPECT_EQ(transport().sentCount(), 1u);

  operation->start();
  ASSERT_EQ(transport().sentCount(), 2u);
  EXPECT_EQ(sentBody(1), sentBody(0));
  {
    InSequence order;
    EXPECT_CALL(*delegate_,
                didGeocodeVenueByLocationsForResult(Optional(Json{{"venue", {{"id", "V1"}}}}),
                                                    Eq(stay_), Eq(std::nullopt)))
        .WillOnce(
            Invoke([&] { EXPECT_TRUE(operation->isExecuting() && !operation->isFinished()); }));
    EXPECT_CALL(*delegate_, removeFromOperation(Eq(std::shared_ptr<MetaOperationBase>(stay_))));
  }
  answer(200, R"({"venue":{"id":"V1"}})");
  EXPECT_TRUE(operation->isFinished());
  EXPECT_FALSE(operation->isExecuting());
  EXPECT_EQ(queue_->operationCount(), 0u);

  operation->start();  // finished: nothing happens
  runUntilIdle();
  EXPECT_EQ(transport().sentCount(), 2u);
}

TEST_F(TROperationTest, ACancelledOperationFinishesWithoutRunning) {
  const auto operation = operationFor(stay_);
  operation->cancel();
  queue_->addOperation(operation);
  runUntilIdle();
  EXPECT_TRUE(operation->isFinished());
  EXPECT_EQ(transport().sentCount(), 0u);
  EXPECT_EQ(queue_->operationCount(), 0u);
}

TEST_F(TROperationTest, AGeocoderOperationLivesUntilItsAnswer) {
  const auto location = std::make_shared<MetaOperationGetAppleVenue>(
      std::weak_ptr<VisitTracker>(), Location(Coordinate{45.5, -73.6}), Date(5));
  operationFor(location)->start();  // nobody else holds the operation
  ASSERT_EQ(platform().geocoder().pendingCount(), 1u);
  EXPECT_EQ(platform().geocoder().requests()[0].coordinate().latitude, 45.5);

  platform::Placemark placemark;
  placemark.name = "Cafe";
  {
    InSequence order;
    EXPECT_CALL(*delegate_, didGeocodeAppleVenueByLocationForResult(
                                Optional(::testing::SizeIs(1)), Eq(location), Eq(std::nullopt)));
    EXPECT_CALL(*delegate_, removeFromOperation(Eq(std::shared_ptr<MetaOperationBase>(location))));
  }
  platform().geocoder().respondToNext(std::vector{placemark});
  runUntilIdle();
}

TEST_F(TROperationTest, ARequestRefusedForWantOfATokenIsAFailureNotACrash) {
  client_->setApiKey("");
  const auto operation = operationFor(stay_);
  EXPECT_CALL(*delegate_,
              didGeocodeVenueByLocationsForResult(Eq(std::nullopt), Eq(stay_), errorCode(-9998)));
  EXPECT_NO_THROW(operation->start());
  runUntilIdle();
  EXPECT_EQ(transport().sentCount(), 0u);
  EXPECT_FALSE(operation->isExecuting() || operation->isFinished());
}

class UnknownDescriptor final : public MetaOperationBase {
 public:
  bool isEqual(const platform::Archivable* object) const override { return object == this; }
  std::size_t hash() const override { return 0; }
  std::string description() const override { return "?"; }
  std::string archiveClassName() const override { return "UnknownDescriptor"; }
  void encodeWithCoder(platform::KeyedArchiver&) const override {}
};

std::string exceptionName(const std::function<void()>& call) {
  try {
    call();
  } catch (const Exception& e) {
    return e.name();
  }
  return "(nothing raised)";
}

TEST_F(TROperationTest, RefusesWhatItCannotRun) {
  EXPECT_EQ(exceptionName([&] { operationFor(std::make_shared<UnknownDescriptor>()); }),
            "Unknown metaoperation");
  EXPECT_EQ(exceptionName([&] { operationFor(nullptr); }), "Unknown metaoperation");
  EXPECT_EQ(exceptionName([&] { operationFor(stay_)->main(); }),
            "This is async operation but main method was called");
}

}  // namespace
}  // namespace trevalo
