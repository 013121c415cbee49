#include "trevalo/platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trevalo::platform {
namespace {

TEST(NotificationCenterTest, DeliversByNameInRegistrationOrderWithTheObject) {
  NotificationCenter center;
  std::vector<std::string> log;
  auto first = center.addObserver("changed", [&](const Notification& n) {
    log.push_back("first:" + std::to_string(std::any_cast<int>(n.object)));
  });
  auto second =
      center.addObserver("changed", [&](const Notification&) { log.push_back("second"); });
  auto other = center.addObserver("other", [&](const Notification&) { log.push_back("other"); });

  center.postNotificationName("changed", 42);
  EXPECT_EQ(log, (std::vector<std::string>{"first:42", "second"}));
  EXPECT_EQ(center.observerCount("changed"), 2u);
}

TEST(NotificationCenterTest, AnObservationEndsWithItsHandleOrReset) {
  NotificationCenter center;
  int calls = 0;
  {
    auto observation = center.addObserver("ping", [&](const Notification&) { ++calls; });
    center.postNotificationName("ping");
  }
  center.postNotificationName("ping");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(center.observerCount("ping"), 0u);

  auto observation = center.addObserver("ping", [&](const Notification&) { ++calls; });
  auto moved = std::move(observation);
  EXPECT_FALSE(observation.isActive());
  center.postNotificationName("ping");
  moved.reset();
  center.postNotificationName("ping");
  EXPECT_EQ(calls, 2);
}

TEST(NotificationCenterTest, AHandlerMayRemoveItselfAndOthersDuringDelivery) {
  NotificationCenter center;
  std::vector<std::string> log;
  NotificationCenter::Observation second;
  NotificationCenter::Observation first;
  first = center.addObserver("go", [&](const Notification&) {
    log.push_back("first");
    first.reset();
    second.reset();
  });
  second = center.addObserver("go", [&](const Notification&) { log.push_back("second"); });
  center.postNotificationName("go");
  center.postNotificationName("go");
  EXPECT_EQ(log, std::vector<std::string>{"first"});
}

TEST(NotificationCenterTest, ObservationOutlivingItsCenterIsHarmless) {
  NotificationCenter::Observation observation;
  {
    NotificationCenter center;
    observation = center.addObserver("x", [](const Notification&) {});
  }
  observation.reset();
  EXPECT_FALSE(observation.isActive());
}

}  // namespace
}  // namespace trevalo::platform
