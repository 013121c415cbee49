#include "trevalo/platform/Application.h"

#include <gtest/gtest.h>

namespace trevalo::platform {
namespace {

TEST(ApplicationTest, BackgroundTasksAreLoggedExpiredAndEndedOnce) {
  Application application(std::make_shared<NotificationCenter>());
  int expired = 0;
  const auto first = application.beginBackgroundTaskWithExpirationHandler([&] { ++expired; });
  const auto second = application.beginBackgroundTaskWithExpirationHandler(nullptr);
  EXPECT_TRUE(application.expireBackgroundTask(first));
  EXPECT_EQ(expired, 1);
  application.endBackgroundTask(first);
  application.endBackgroundTask(first);
  EXPECT_FALSE(application.expireBackgroundTask(first));
  EXPECT_EQ(application.activeBackgroundTasks(), std::vector<BackgroundTaskIdentifier>{second});
  EXPECT_EQ(application.backgroundTaskLog(),
            (std::vector<std::string>{"begin:1", "begin:2", "end:1", "end:1"}));
}

}  // namespace
}  // namespace trevalo::platform
