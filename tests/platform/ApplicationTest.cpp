#include "trevalo/platform/Application.h"

#include <gtest/gtest.h>

namespace trevalo::platform {
namespace {

TEST(ApplicationTest, LifecycleChangesPostTheirNotificationsOnce) {
  auto center = std::make_shared<NotificationCenter>();
  Application application(center);
  std::vector<std::string> posted;
  auto active = center->addObserver(Application::kDidBecomeActiveNotification,
                                    [&](const Notification& n) { posted.push_back(n.name); });
  auto background = center->addObserver(Application::kDidEnterBackgroundNotification,
                                        [&](const Notification& n) { posted.push_back(n.name); });
  application.setApplicationState(ApplicationState::kActive);  // already active
  application.setApplicationState(ApplicationState::kBackground);
  application.setApplicationState(ApplicationState::kBackground);
  application.setApplicationState(ApplicationState::kInactive);
  application.setApplicationState(ApplicationState::kActive);
  EXPECT_EQ(posted, (std::vector<std::string>{Application::kDidEnterBackgroundNotification,
                                              Application::kDidBecomeActiveNotification}));
}

TEST(ApplicationTest, BackgroundTasksAreLoggedExpiredAndEndedOnce) {
  Application application(std::make_shared<NotificationCenter>());
  int expired = 0;
  const auto first = application.beginBackgroundTaskWithExpirationHandler([&] { ++expired; });
  const auto second = application.beginBackgroundTaskWithExpirationHandler(nullptr);
  EXPECT_NE(first, kInvalidBackgroundTask);
  EXPECT_NE(first, second);
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
