#include "trevalo/platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trevalo::platform {
namespace {

TEST(NotificationCenterTest, DeliversByNameInOrderAndHandlersMayRemoveObserversMeanwhile) {
  NotificationCenter center;
  std::vector<std::string> log;
  NotificationCenter::Observation second;
  NotificationCenter::Observation first;
  first = center.addObserver("go", [&](const Notification& n) {
    log.push_back("first:" + std::to_string(std::any_cast<int>(n.object)));
    first.reset();
    second.reset();
  });
  second = center.addObserver("go", [&](const Notification&) { log.push_back("second"); });
  auto third = center.addObserver("go", [&](const Notification&) { log.push_back("third"); });
  auto other = center.addObserver("other", [&](const Notification&) { log.push_back("other"); });
  center.postNotificationName("go", 42);
  center.postNotificationName("go", 43);
  EXPECT_EQ(log, (std::vector<std::string>{"first:42", "third", "third"}));
}

TEST(NotificationCenterTest, AnObservationEndsWithItsHandleEvenAfterAMoveOrItsCenter) {
  NotificationCenter::Observation outliving;
  {
    NotificationCenter center;
    int calls = 0;
    {
      auto observation = center.addObserver("ping", [&](const Notification&) { ++calls; });
      outliving = std::move(observation);
      center.postNotificationName("ping");
    }
    outliving.reset();
    center.postNotificationName("ping");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(center.observerCount("ping"), 0u);
    outliving = center.addObserver("x", [](const Notification&) {});
  }
  outliving.reset();  // the center is gone; this must not touch it
  EXPECT_FALSE(outliving.isActive());
}

}  // namespace
}  // namespace trevalo::platform
