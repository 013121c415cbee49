// The JSON Lines reader: every record kind, accelerometer batches, and fatal faults.
#include "simulation/JsonLinesReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "simulation/TraceReadError.h"

namespace trevalo::simulation {
namespace {

using ::testing::HasSubstr;

TEST(JsonLinesReaderTest, ReadsEveryKindOfRecord) {
  const Trace trace = JsonLinesReader::read(
      R"({"t": 100, "type": "wifi", "ssid": "Home"})"
      "\n"
      R"({"t": 100, "type": "fix", "lat": 48.85, "lng": 2.35, "acc": 5, "alt": 40, "speed": 1.2})"
      "\n"
      "\n"
      R"({"t": 101, "type": "accel", "hz": 4, "samples": [[0, 0, -1], [0.1, 0, -1], [0, 0.2, -1]]})"
      "\n"
      R"({"t": 101.5, "type": "accel", "x": 0, "y": -1, "z": 0})"
      "\n"
      R"({"t": 102, "type": "heading", "magnetic": 90, "true": 91.5, "acc": 10})"
      "\n"
      R"({"t": 103, "type": "activity", "value": 2})"
      "\n"
      R"({"t": 104, "type": "wifi_check"})"
      "\n"
      R"({"t": 105, "type": "region_enter", "id": "shop-1"})"
      "\n"
      R"({"t": 106, "type": "region_exit"})"
      "\n"
      R"({"t": 107, "type": "wifi", "ssid": null})"
      "\n");
  ASSERT_EQ(trace.fixes.size(), 1u);
  EXPECT_DOUBLE_EQ(trace.fixes[0].altitude(), 40.0);
  EXPECT_DOUBLE_EQ(trace.fixes[0].speed(), 1.2);
  EXPECT_DOUBLE_EQ(trace.fixes[0].course(), -1.0);
  ASSERT_EQ(trace.accelerometer.size(), 4u);
  // A batch's samples follow each other at its rate; the single sample comes in time order.
  EXPECT_EQ(trace.accelerometer[1], (AccelerometerSample{Date(101.25), {0.1, 0.0, -1.0}}));
  EXPECT_EQ(trace.accelerometer[2].time, Date(101.5));
  EXPECT_EQ(trace.accelerometer[2].acceleration.y, 0.2);
  EXPECT_EQ(trace.accelerometer[3].acceleration.y, -1.0);
  ASSERT_EQ(trace.headings.size(), 1u);
  EXPECT_DOUBLE_EQ(trace.headings[0].trueHeading, 91.5);
  EXPECT_EQ(trace.headings[0].timestamp, Date(102));
  EXPECT_EQ(trace.activities, (std::vector<ActivityReport>{{Date(103), 2}}));
  EXPECT_EQ(trace.regions,
            (std::vector<RegionCrossing>{{Date(105), RegionCrossing::Kind::kEnter, "shop-1"},
                                         {Date(106), RegionCrossing::Kind::kExit, ""}}));
  EXPECT_EQ(trace.wifi, (std::vector<WifiChange>{{Date(100), "Home"}, {Date(107), std::nullopt}}));
  EXPECT_EQ(trace.start(), Date(100));
  EXPECT_EQ(trace.end(), Date(107));
}

TEST(JsonLinesReaderTest, AnyFaultStopsTheReadAtItsLine) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"t": 101, "type": )", "not valid JSON"},
      {R"({"type": "fix"})", "missing \"t\""},
      {R"({"t": 99, "type": "wifi_check"})", "back in time"},
      {R"({"t": 101, "type": "teleport"})", "unknown \"type\""},
      {R"({"t": 101, "type": "fix", "lat": 48, "lng": 200, "acc": 5})", "\"lng\""},
      {R"({"t": 101, "type": "accel", "hz": 0, "samples": []})", "\"hz\" must be positive"},
      {R"({"t": 101, "type": "accel", "hz": 20, "samples": [[1, 2]]})", "[x, y, z]"},
      {R"({"t": 101, "type": "accel", "x": 1, "y": true, "z": 0})", "\"y\" must be a number"},
      {R"({"t": 101, "type": "heading", "magnetic": 361})", "\"magnetic\""},
      {R"({"t": 101, "type": "region_exit", "id": 4})", "\"id\" must be a string"}};
  for (const auto& [bad, message] : cases) {
    SCOPED_TRACE(bad);
    try {
      JsonLinesReader::read(std::string(R"({"t": 100, "type": "wifi_check"})") + "\n\n" + bad +
                            "\n");
      FAIL() << "read a bad line";
    } catch (const TraceReadError& error) {
      EXPECT_EQ(error.line(), 3u);
      EXPECT_THAT(error.what(), HasSubstr(message));
    }
  }
}

}  // namespace
}  // namespace trevalo::simulation
