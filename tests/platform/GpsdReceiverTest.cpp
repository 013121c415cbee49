#include "platform/linux/GpsdReceiver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/EventDescriptor.h"
#include "support/PlatformTest.h"
#include "trevalo/platform/RealTimeRunLoop.h"
#include "trevalo/platform/linux/GpsdLocationManager.h"
#include "trevalo/platform/linux/SystemClock.h"

namespace trevalo::platform {
namespace {

using namespace std::chrono_literals;

GpsdFix fixAt(double seconds, double latitude, double track = GpsdFix::kMissing) {
  GpsdFix fix;
  fix.time = Date(1552387900.0 + seconds);
  fix.coordinate = {latitude, 4.35};
  fix.horizontalError = 8.0;
  fix.track = track;
  return fix;
}

// What gpsd does, session by session: each attempt to open takes the next plan. A plan that
// opens answers its reads in turn and then either loses the connection or stays silent. With
// `descriptors`, each session has one for a run loop to wait on, ready while a read would
// give something.
struct Plan {
  bool opens = true;
  std::vector<GpsdFix> fixes = {};
  bool thenLost = false;
};

class ScriptedGpsd {
 public:
  ScriptedGpsd(std::vector<Plan> plans, bool descriptors)
      : plans_(plans.begin(), plans.end()), descriptors_(descriptors) {}

  GpsdReceiver::SessionFactory factory() {
    return [this] { return std::make_unique<Session>(*this); };
  }
  int attempts() const {
    const std::lock_guard lock(mutex_);
    return attempts_;
  }
  int openSessions() const {
    const std::lock_guard lock(mutex_);
    return open_;
  }

 private:
  class Session final : public GpsdSession {
   public:
    explicit Session(ScriptedGpsd& gpsd) : gpsd_(gpsd) {}
    ~Session() override {
      const std::lock_guard lock(gpsd_.mutex_);
      if (opened_) --gpsd_.open_;
    }
    bool open() override {
      const std::lock_guard lock(gpsd_.mutex_);
      ++gpsd_.attempts_;
      // Once the script is done, gpsd stays up and silent.
      if (!gpsd_.plans_.empty()) {
        plan_ = gpsd_.plans_.front();
        gpsd_.plans_.pop_front();
      }
      if (!plan_.opens) return false;
      opened_ = true;
      ++gpsd_.open_;
      if (!plan_.fixes.empty() || plan_.thenLost) ready_.signal();
      return true;
    }
    Read read(double timeoutSeconds, GpsdFix& fix) override {
      if (next_ < plan_.fixes.size()) {
        fix = plan_.fixes[next_++];
        return Read::kFix;
      }
      if (plan_.thenLost) return Read::kLost;
      std::uint64_t signals = 0;
      [[maybe_unused]] const auto drained = ::read(ready_.descriptor(), &signals, sizeof signals);
      std::this_thread::sleep_for(std::chrono::duration<double>(timeoutSeconds));
      return Read::kNothing;
    }
    int descriptor() const override { return gpsd_.descriptors_ ? ready_.descriptor() : -1; }

   private:
    ScriptedGpsd& gpsd_;
    Plan plan_;
    std::size_t next_ = 0;
    bool opened_ = false;
    EventDescriptor ready_;
  };

  mutable std::mutex mutex_;
  std::deque<Plan> plans_;
  const bool descriptors_;
  int attempts_ = 0;
  int open_ = 0;
};

// The manager the receiver feeds, telling the receiver of every change of demand as the gpsd
// location manager does.
class FedManager final : public SoftwareLocationManager {
 public:
  using SoftwareLocationManager::SoftwareLocationManager;
  GpsdReceiver* receiver = nullptr;

 protected:
  void demandChanged() override {
    if (receiver) receiver->wake();
  }
};

struct Recorder final : LocationManagerDelegate {
  void locationManagerDidUpdateLocations(LocationManager&,
                                         const std::vector<Location>& locations) override {
    for (const auto& l : locations)
      fixes.push_back(l.coordinate().latitude);
  }
  void locationManagerDidUpdateHeading(LocationManager&, const Heading& heading) override {
    headings.push_back(heading.trueHeading);
  }
  void locationManagerDidFailWithError(LocationManager&, const Error& error) override {
    EXPECT_EQ(error.domain(), GpsdLocationManager::kErrorDomain);
    errors.push_back(error.code());
  }
  std::vector<double> fixes;
  std::vector<double> headings;
  std::vector<std::int64_t> errors;
};

// Run twice: the sessions read on the receiver's own thread, and read on a real-time run loop.
class GpsdReceiverTest : public testing::PlatformTest, public ::testing::WithParamInterface<bool> {
 protected:
  // `wanted` runs before the receiver exists: what it asks for is all asked for at once.
  void start(std::vector<Plan> plans, const std::function<void(FedManager&)>& wanted = {}) {
    const bool onLoop = GetParam();
    gpsd_ = std::make_unique<ScriptedGpsd>(std::move(plans), onLoop);
    if (onLoop) {
      readingLoop_ = std::make_shared<RealTimeRunLoop>(std::make_shared<SystemClock>());
      readingLoop_->startThread();
    }
    manager_ = std::make_shared<FedManager>(platform().services().runLoop);
    manager_->setDelegate(recorder_);
    if (wanted) wanted(*manager_);
    receiver_ = std::make_unique<GpsdReceiver>(
        *manager_, gpsd_->factory(),
        GpsdReceiver::Options{
            .minimumRetryDelay = 0.001, .maximumRetryDelay = 0.004, .pollInterval = 0.002},
        readingLoop_);
    manager_->receiver = receiver_.get();
  }
  void TearDown() override {
    receiver_.reset();
    readingLoop_.reset();
    PlatformTest::TearDown();
  }
  // Runs the loop until `done` holds, asking it again every few milliseconds since it may read
  // what the receiver's thread changes; fails after 10 s of real time.
  void runUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!runLoop().runUntil(done, 5ms)) {
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "still waiting after 10 s";
        return;
      }
    }
  }

  std::shared_ptr<Recorder> recorder_ = std::make_shared<Recorder>();
  std::unique_ptr<ScriptedGpsd> gpsd_;
  std::shared_ptr<RealTimeRunLoop> readingLoop_;
  std::shared_ptr<FedManager> manager_;
  std::unique_ptr<GpsdReceiver> receiver_;
};

TEST_P(GpsdReceiverTest, NoSessionUntilSomethingIsWantedAndNoneAfter) {
  start({Plan{.fixes = {fixAt(0, 50.0)}}, Plan{.fixes = {fixAt(1, 50.1, 45)}}});
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(gpsd_->attempts(), 0) << "nothing asks for fixes yet";

  manager_->startUpdatingLocation();
  runUntil([&] { return recorder_->fixes.size() == 1; });
  EXPECT_EQ(gpsd_->openSessions(), 1);
  manager_->stopUpdatingLocation();
  runUntil([&] { return gpsd_->openSessions() == 0 && !receiver_->isConnected(); });
  EXPECT_TRUE(recorder_->errors.empty()) << "closing for want of demand is no failure";

  // Headings alone keep a session, and give no fixes.
  manager_->startUpdatingHeading();
  runUntil([&] { return recorder_->headings.size() == 1; });
  EXPECT_EQ(recorder_->fixes.size(), 1u);
}

TEST_P(GpsdReceiverTest, ARepeatedReportIsOneFixAndHeadingsFollowTheirSwitch) {
  start({Plan{.fixes = {fixAt(0, 50.0, 90), fixAt(0, 50.0, 90), fixAt(1, 50.1, 180),
                        fixAt(2, 50.2)}}},
        [](FedManager& manager) {
          manager.setDistanceFilter(kDistanceFilterNone);
          manager.startUpdatingHeading();
          manager.startUpdatingLocation();
        });
  runUntil([&] { return recorder_->fixes.size() == 3; });
  EXPECT_EQ(recorder_->fixes, (std::vector<double>{50.0, 50.1, 50.2}));
  EXPECT_EQ(recorder_->headings, (std::vector<double>{90, 180})) << "the last had no track";
}

TEST_P(GpsdReceiverTest, AnOutageIsReportedOnceAndTheStateOutlivesIt) {
  start(
      {
          Plan{.opens = false},
          Plan{.opens = false},
          Plan{.fixes = {fixAt(0, 50.0)}, .thenLost = true},
          // gpsd accepts and hangs up: a session that broke before saying anything is no new
          // outage (and waits its delay before the next attempt).
          Plan{.thenLost = true},
          Plan{.thenLost = true},
          Plan{.opens = false},
          // gpsd is back: the first fix lies within the distance filter of the last one delivered
          // before the outage, the second beyond it.
          Plan{.fixes = {fixAt(10, 50.00001), fixAt(11, 50.001)}},
      },
      [](FedManager& manager) {
        manager.setDistanceFilter(50.0);
        manager.startMonitoringForRegion({{50.001, 4.35}, 20.0, "pier"});
        manager.startUpdatingLocation();
      });
  runUntil([&] { return recorder_->fixes.size() == 2; });
  EXPECT_EQ(recorder_->fixes, (std::vector<double>{50.0, 50.001}));
  EXPECT_EQ(recorder_->errors,
            (std::vector<std::int64_t>{GpsdLocationManager::kErrorUnreachable,
                                       GpsdLocationManager::kErrorConnectionLost}))
      << "one error per outage, however many attempts fail";
  EXPECT_EQ(gpsd_->attempts(), 7);
  EXPECT_EQ(manager_->monitoredRegions().size(), 1u);
  EXPECT_TRUE(receiver_->isConnected());
}

INSTANTIATE_TEST_SUITE_P(ReadOn, GpsdReceiverTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "TheRunLoop" : "ItsThread"; });

}  // namespace
}  // namespace trevalo::platform
