// The facade on the system platform, its run loop on a thread of its own in real time, while
// other threads feed fixes, ask queries, pause and resume, and the motion sensors report from
// their own queue.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "networking/LoopbackServer.h"
#include "networking/TRNetworkClient.h"
#include "strategies/StrategiesStateMachine.h"
#include "support/FixDriver.h"
#include "support/TemporaryDirectory.h"
#include "trevalo/facade/TRContext.h"
#include "trevalo/facade/Trevalo.h"
#include "trevalo/platform/linux/SystemPlatform.h"
#include "trevalo/platform/simulated/SimulatedLocationManager.h"
#include "trevalo/platform/simulated/SimulatedMotionSensors.h"
#include "trevalo/utils/TRConstants.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;
using testing::metres;

// Counts callbacks, and notes any that arrive off the run loop.
class CountingDelegate final : public TrevaloDelegate {
 public:
  void trevaloDidUpdateLocation(Trevalo&, const Location&) override { note(locations); }
  void trevaloWillChangeActivityMode(Trevalo&, TRActivityMode) override { note(activities); }

  std::atomic<int> locations{0};
  std::atomic<int> activities{0};
  std::atomic<int> offTheRunLoop{0};

 private:
  void note(std::atomic<int>& count) {
    if (!platform::Platform::current().runLoop().isCurrent()) ++offTheRunLoop;
    ++count;
  }
};

// Runs `work` on the run loop and waits for it.
void onRunLoop(const std::function<void()>& work) {
  std::promise<void> done;
  platform::Platform::current().runLoop().post([&] {
    work();
    done.set_value();
  });
  ASSERT_EQ(done.get_future().wait_for(20s), std::future_status::ready);
}

template <class Condition>
bool eventually(Condition condition) {
  for (int i = 0; i < 2000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return condition();
}

TEST(TrevaloThreadsTest, OtherThreadsMayPauseResumeAndAskWhileTheRunLoopRuns) {
  testing::TemporaryDirectory directory;
  testing::LoopbackServer server([](httplib::Server& routes) {
    routes.Get(".*", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("{}", "application/json");
    });
  });
  // The sensors need the platform's run loop, which exists only once the platform does.
  auto sensors = std::make_shared<std::shared_ptr<platform::SimulatedMotionSensors>>();
  auto system = platform::SystemPlatform::make(
      {.documentsDirectory = directory.path(),
       .motionManagerFactory = [sensors] { return (*sensors)->makeMotionManager(); }});
  *sensors = std::make_shared<platform::SimulatedMotionSensors>(system->services().runLoop);
  (*sensors)->setMotionScript(platform::MotionScript::walking(600.0));
  auto previous = platform::Platform::install(system);
  {
    auto client = std::make_shared<TRNetworkClient>();
    TRNetworkClient::Hosts hosts;
    hosts.serviceApi = server.url();
    hosts.peopleSearch = server.url();
    client->setHosts(hosts);
    auto context = std::make_shared<TRContext>(client);
    auto trevalo = Trevalo::initWithContext(context);
    auto delegate = std::make_shared<CountingDelegate>();
    auto manager =
        std::dynamic_pointer_cast<platform::SimulatedLocationManager>(context->locationManager);
    ASSERT_NE(manager, nullptr);
    trevalo->startWithApiToken("token", delegate, TROptions{{TROptionTimedUpdatesInterval, 1.0}});
    ASSERT_TRUE(eventually([&] { return trevalo->isRunning(); }));

    std::atomic<bool> stop{false};
    // Answers from the service may still arrive after this scope; they count into a shared
    // counter, not into this frame.
    const auto answers = std::make_shared<std::atomic<int>>(0);
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
      for (int i = 0; !stop; ++i) {
        manager->deliverLocations(
            {Location(metres(0, i * 0.5), 0.0, 5.0, -1.0, 0.0, 1.4, Date::now())});
        std::this_thread::sleep_for(5ms);
      }
    });
    threads.emplace_back([&] {
      while (!stop) {
        const auto count = [answers](auto&&...) { ++*answers; };
        trevalo->getCurrentLocationWithHandler(count);
        trevalo->getCurrentPlaceWithHandler(count);
        trevalo->getPeopleNearby(count);
        trevalo->getPeopleAtCurrentVenue(count);
        trevalo->applyOperationMode(TRSetting(TRSettingTypeLow));
        // The service refuses the upload (no route): the values are kept for the background.
        trevalo->updateUserValues({{TRUserValueName, "Ann"}}, count);
        (void)trevalo->isRunning();
        (void)trevalo->deviceId();
        std::this_thread::sleep_for(20ms);
      }
    });
    threads.emplace_back([&] {
      for (int i = 0; i < 10; ++i) {
        trevalo->pause();
        std::this_thread::sleep_for(30ms);
        EXPECT_EQ(trevalo->resume(), std::nullopt);
        std::this_thread::sleep_for(70ms);
      }
    });
    threads.back().join();
    threads.pop_back();
    // Long enough for the accelerometer's 5-second windows to report walking. (No ASSERT while
    // the threads run: they must be joined.)
    EXPECT_TRUE(eventually([&] { return delegate->activities > 0 && *answers > 20; }));
    stop = true;
    for (auto& thread : threads)
      thread.join();

    onRunLoop([] {});
    EXPECT_TRUE(trevalo->isRunning());
    EXPECT_TRUE(manager->isUpdatingLocation());
    EXPECT_NE(context->strategiesStateMachine->currentStrategyType(), StrategyTypeUnset);
    EXPECT_GT(delegate->locations, 0);
    EXPECT_EQ(delegate->offTheRunLoop, 0);
    trevalo->pause();
    onRunLoop([] {});
    onRunLoop([] {});
    EXPECT_FALSE(trevalo->isRunning());
  }
  platform::Platform::install(previous);
  system.reset();  // stops and joins the run loop's thread
}

}  // namespace
}  // namespace trevalo
