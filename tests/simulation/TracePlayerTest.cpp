// The trace player: records at their times between the run loop's timers, synthesized motion
// for traces without readings, and a signal loss inside a building.
#include "simulation/TracePlayer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/PlatformTest.h"

namespace trevalo::simulation {
namespace {

using ::testing::ElementsAre;

// 2026-01-01T00:00:00Z, where the test platform's clock starts.
constexpr double kStart = 1767225600.0;

class RecordingSink final : public TraceSink {
 public:
  void fix(const Location& fix) override {
    log("fix");
    fixes.push_back(fix);
    if (postOnFix) runLoop->post([this] { log("posted"); });
  }
  void accelerometer(const AccelerometerSample&) override { log("accel"); }
  void motion(MotionPattern pattern, const platform::MotionScript& script) override {
    log(std::string("motion ") + motionPatternName(pattern));
    scriptSeconds.push_back(script.duration());
  }
  void heading(const platform::Heading&) override { log("heading"); }
  void wifi(const std::optional<std::string>& ssid) override { log("wifi " + ssid.value_or("-")); }
  void activity(std::uint64_t value) override { log("activity " + std::to_string(value)); }
  void region(const RegionCrossing& crossing) override { log("region " + crossing.identifier); }

  void log(const std::string& what) {
    std::ostringstream line;
    line << Date::now().timeIntervalSince1970() - kStart << ' ' << what;
    calls.push_back(line.str());
  }

  std::vector<std::string> calls;
  std::vector<Location> fixes;
  std::vector<double> scriptSeconds;
  bool postOnFix = false;
  platform::RunLoop* runLoop = nullptr;
};

Location fixAt(double seconds, double metersNorth, double speed = -1.0, double accuracy = 5.0) {
  return Location({48.85 + metersNorth / 111195.0, 2.35}, 0.0, accuracy, -1.0, -1.0, speed,
                  Date(kStart + seconds));
}

class TracePlayerTest : public testing::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    sink.runLoop = &runLoop();
  }

  TracePlayer player(const Trace& trace) {
    return TracePlayer(std::make_shared<const Trace>(trace), runLoop(), sink);
  }

  RecordingSink sink;
};

TEST_F(TracePlayerTest, RecordsComeAtTheirTimesBetweenTheTimers) {
  Trace trace;
  trace.fixes = {fixAt(10, 0), fixAt(20, 1)};
  trace.wifi = {{Date(kStart + 10), "Home"}};
  trace.accelerometer = {{Date(kStart + 10), {0, 0, -1}}};
  trace.headings = {platform::Heading{.magneticHeading = 10, .timestamp = Date(kStart + 12)}};
  trace.activities = {{Date(kStart + 12), 2}};
  trace.regions = {{Date(kStart + 12), RegionCrossing::Kind::kExit, "r1"}};
  sink.postOnFix = true;
  const auto at10 = runLoop().scheduleTimer(10, false, [&] { sink.log("timer"); });
  const auto at15 = runLoop().scheduleTimer(15, false, [&] { sink.log("timer"); });

  auto played = player(trace);
  played.playToEnd();
  EXPECT_THAT(sink.calls, ElementsAre("10 wifi Home", "10 accel", "10 fix", "10 posted", "10 timer",
                                      "12 activity 2", "12 region r1", "12 heading", "15 timer",
                                      "20 fix", "20 posted"));
  EXPECT_EQ(played.recordsPlayed(), 7u);
  EXPECT_FALSE(played.nextTime().has_value());
}

TEST_F(TracePlayerTest, PlayUntilStopsAtItsBoundAndRecordsInThePastComeAtOnce) {
  Trace trace;
  trace.fixes = {fixAt(-5, 0), fixAt(30, 1), fixAt(60, 2)};
  trace.accelerometer = {{Date(kStart - 5), {0, 0, -1}}};
  auto played = player(trace);
  played.playUntil(Date(kStart + 45));
  EXPECT_THAT(sink.calls, ElementsAre("0 accel", "0 fix", "30 fix"));
  EXPECT_EQ(Date::now(), Date(kStart + 45));
  EXPECT_EQ(played.nextTime(), Date(kStart + 60));
  played.playUntil(Date(kStart + 100));
  EXPECT_EQ(sink.calls.back(), "60 fix");
  EXPECT_EQ(Date::now(), Date(kStart + 100));
}

TEST_F(TracePlayerTest, WithoutReadingsTheSpeedChoosesStillWalkingOrDriving) {
  Trace trace;
  double north = 0.0;
  for (int t = 0; t <= 300; ++t) {
    const double speed = t <= 60 ? 0.0 : t <= 180 ? 1.4 : 12.0;
    north += t == 0 ? 0.0 : speed;
    // Only the drive has receiver speeds; the walk's comes from the distance covered.
    trace.fixes.push_back(fixAt(t, north, t > 180 ? speed : -1.0));
  }
  auto played = player(trace);
  played.playToEnd();
  std::vector<std::string> motion;
  for (const auto& call : sink.calls) {
    if (call.find("motion") != std::string::npos) motion.push_back(call);
  }
  // The walk shows once ten seconds of it cover more than the walking speed's distance.
  EXPECT_THAT(motion, ElementsAre("0 motion still", "64 motion walking", "180 motion driving"));
  EXPECT_THAT(sink.scriptSeconds, ElementsAre(64.0, 116.0, 120.0));

  // Recorded readings replace the synthesized motion.
  trace.accelerometer = {{Date(kStart), {0, 0, -1}}};
  sink.calls.clear();
  player(trace).playToEnd();
  EXPECT_EQ(std::count_if(
                sink.calls.begin(), sink.calls.end(),
                [](const std::string& call) { return call.find("motion") != std::string::npos; }),
            0);
}

TEST_F(TracePlayerTest, ASignalLossInsideABuildingDeliversNothingAndStaysStill) {
  // Walking in, ten minutes without a fix inside, a few metres from where the signal went,
  // then walking out.
  Trace trace;
  for (int t = 0; t < 120; ++t)
    trace.fixes.push_back(fixAt(t, 1.4 * t));
  for (int t = 720; t < 840; ++t)
    trace.fixes.push_back(fixAt(t, 170.0 + 1.4 * (t - 720)));
  bool timerFiredInTheGap = false;
  const auto timer =
      runLoop().scheduleTimer(400, false, [&] { timerFiredInTheGap = sink.fixes.size() == 120; });
  auto played = player(trace);
  played.playToEnd();
  EXPECT_TRUE(timerFiredInTheGap);
  ASSERT_EQ(sink.fixes.size(), 240u);
  EXPECT_EQ(sink.fixes[119].timestamp(), Date(kStart + 119));
  EXPECT_EQ(sink.fixes[120].timestamp(), Date(kStart + 720));
  const auto& plan = played.motionPlan();
  ASSERT_EQ(plan.size(), 3u);
  EXPECT_EQ(plan[0].pattern, MotionPattern::kWalking);
  EXPECT_EQ(plan[1],
            (MotionPlan::Segment{Date(kStart + 119), Date(kStart + 720), MotionPattern::kStill}));
  EXPECT_EQ(plan[2].pattern, MotionPattern::kWalking);
}

}  // namespace
}  // namespace trevalo::simulation
