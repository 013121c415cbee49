// The NMEA reader against real receiver logs and hand-made sentences.
#include "simulation/NmeaReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "simulation/TimeText.h"
#include "simulation/TraceReadError.h"
#include "simulation/TraceReader.h"

namespace trevalo::simulation {
namespace {

using ::testing::HasSubstr;

// "$" + body + "*" + its checksum.
std::string sentence(const std::string& body) {
  unsigned checksum = 0;
  for (const char c : body)
    checksum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X", checksum);
  return "$" + body + tail + "\r\n";
}

Date at(const char* iso) {
  return *TimeText::parseIso8601(iso);
}

struct RealLog {
  const char* file;
  std::size_t fixes;  // epochs with a position
  const char* first;  // time of the earliest fix
  double latitude, longitude;
};

class RealLogTest : public ::testing::TestWithParam<RealLog> {};

TEST_P(RealLogTest, GivesEveryEpochWithAPositionInTimeOrderAtItsPlace) {
  const RealLog& log = GetParam();
  const Trace trace = TraceReader::readFile(std::string(TREVALO_TEST_DATA_DIR "/nmea/") + log.file);
  EXPECT_EQ(trace.format, TraceFormat::kNmea);
  ASSERT_EQ(trace.fixes.size(), log.fixes);
  EXPECT_EQ(trace.fixes.front().timestamp(), at(log.first));
  for (std::size_t i = 1; i < trace.fixes.size(); ++i) {
    ASSERT_LT(trace.fixes[i - 1].timestamp(), trace.fixes[i].timestamp()) << i;
  }
  for (const Location& fix : trace.fixes) {
    EXPECT_NEAR(fix.coordinate().latitude, log.latitude, 0.05);
    EXPECT_NEAR(fix.coordinate().longitude, log.longitude, 0.05);
    EXPECT_GT(fix.horizontalAccuracy(), 0.0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Receivers, RealLogTest,
    ::testing::Values(
        RealLog{"haicom-305N.log", 68, "2007-04-08T09:53:04.802Z", -27.21, 153.05},
        // Its clock steps back once (10:51:53.71, then .408): the fixes are put in order.
        RealLog{"telit-he910.log", 187, "2019-03-12T10:51:53.408Z", 50.84, 4.35},
        // A GGA fix comes a second before the first RMC gives the date.
        RealLog{"bundg_zeus_9.log", 148, "2018-08-20T09:47:36Z", 52.85, 5.31},
        RealLog{"skytraq-dgps.log", 96, "2016-04-07T21:31:21Z", 44.07, -121.31},
        // Binary noise before its first sentence; its last one is cut off.
        RealLog{"ublox-8.log", 72, "2017-01-10T00:09:41Z", 44.07, -121.31}),
    [](const auto& info) {
      std::string name = info.param.file;
      return name.substr(0, name.find_first_of("-_."));
    });

TEST(NmeaReaderTest, OneEpochMakesOneFixFromAllItsSentences) {
  const std::string log =
      sentence("GPGGA,120000.00,4851.0000,N,00221.0000,E,1,08,1.6,35.2,M,47.0,M,,") +
      sentence("GPGSA,A,3,01,02,03,04,,,,,,,,,2.5,1.6,1.9") +
      sentence("GPRMC,120000.00,A,4851.0000,N,00221.0000,E,10.0,90.0,010624,,,A") +
      sentence("GPVTG,91.0,T,,M,10.0,N,18.5,K,A") +
      sentence("GPGGA,120001.00,4851.0010,N,00221.0000,E,1,08,0.8,35.0,M,47.0,M,,") +
      sentence("GPVTG,180.0,T,,M,,N,7.2,K,A");
  const Trace trace = NmeaReader::read(log);
  ASSERT_EQ(trace.fixes.size(), 2u);
  const Location& first = trace.fixes[0];
  EXPECT_EQ(first.timestamp(), at("2024-06-01T12:00:00Z"));
  EXPECT_DOUBLE_EQ(first.coordinate().latitude, 48.85);
  EXPECT_DOUBLE_EQ(first.coordinate().longitude, 2.35);
  EXPECT_DOUBLE_EQ(first.horizontalAccuracy(), 1.6 * NmeaReader::kRangeErrorMeters);
  EXPECT_DOUBLE_EQ(first.verticalAccuracy(), 1.9 * NmeaReader::kRangeErrorMeters);
  EXPECT_DOUBLE_EQ(first.altitude(), 35.2);
  // RMC's speed in knots and course win over VTG's of the same epoch.
  EXPECT_NEAR(first.speed(), 10.0 * 1852.0 / 3600.0, 1e-9);
  EXPECT_DOUBLE_EQ(first.course(), 90.0);
  // The second epoch has no RMC: its speed and course come from VTG, its day from before.
  const Location& second = trace.fixes[1];
  EXPECT_EQ(second.timestamp(), at("2024-06-01T12:00:01Z"));
  EXPECT_NEAR(second.speed(), 2.0, 1e-9);
  EXPECT_DOUBLE_EQ(second.course(), 180.0);
  EXPECT_DOUBLE_EQ(second.horizontalAccuracy(), 0.8 * NmeaReader::kRangeErrorMeters);
  EXPECT_EQ(trace.notes.broken, 0u);
}

TEST(NmeaReaderTest, BrokenSentencesAreCountedAndSkippedNeverFatal) {
  std::string bad = sentence("GPRMC,120002.00,A,4851.0020,N,00221.0000,E,1.0,0.0,010624,,,A");
  bad[bad.size() - 3] = bad[bad.size() - 3] == '0' ? '1' : '0';  // one wrong checksum digit
  const std::string log =
      "# a comment\n" + sentence("GPRMC,120000.00,A,4851.0000,N,00221.0000,E,1.0,0.0,010624,,,A") +
      bad +                                                               // line 3: checksum
      "$GPRMC,120003.00,A,4851.0030,N,00221.0000,E,1.0,0.0,010624,,,A\n"  // line 4: no checksum
      "garbage without a sentence\n" +                                    // line 5
      sentence("GPRMC,120004.00,A,48x1.0040,N,00221.0000,E,1.0,0.0,010624,,,A") +  // line 6
      "\x01\x02noise" +
      sentence("GPRMC,120005.00,A,4851.0050,N,00221.0000,E,1.0,0.0,010624,,,A") +
      sentence("GPGSV,1,1,01,01,40,083,46") +          // ignored, not broken
      sentence("GPRMC,120006.00,V,,,,,,,010624,,,N");  // no fix
  const Trace trace = NmeaReader::read(log);
  ASSERT_EQ(trace.fixes.size(), 2u);
  EXPECT_EQ(trace.fixes[1].timestamp(), at("2024-06-01T12:00:05Z"));
  EXPECT_EQ(trace.notes.broken, 4u);
  EXPECT_EQ(trace.notes.ignored, 1u);
  EXPECT_EQ(trace.notes.withoutFix, 1u);
  EXPECT_THAT(
      trace.notes.warnings,
      ::testing::ElementsAre("line 3: checksum mismatch", "line 4: no checksum",
                             ::testing::StartsWith("line 5: "), "line 6: unusable position"));
}

TEST(NmeaReaderTest, DaysComeFromRmcOrZdaAndRollOverAtMidnight) {
  // GGA-only epochs before the first date get that date (or the day before, for later times
  // of day); after it, a jump back in the time of day is the next day.
  const std::string log =
      sentence("GPGGA,235958.00,4851.0000,N,00221.0000,E,1,08,1.0,35.0,M,,M,,") +
      sentence("GPGGA,235959.00,4851.0000,N,00221.0000,E,1,08,1.0,35.0,M,,M,,") +
      sentence("GPZDA,000000.00,02,06,2024,00,00") +
      sentence("GPGGA,000000.00,4851.0000,N,00221.0000,E,1,08,1.0,35.0,M,,M,,") +
      sentence("GPGGA,235959.00,4851.0000,N,00221.0000,E,1,08,1.0,35.0,M,,M,,") +
      sentence("GPGGA,000001.00,4851.0000,N,00221.0000,E,1,08,1.0,35.0,M,,M,,");
  const Trace trace = NmeaReader::read(log);
  ASSERT_EQ(trace.fixes.size(), 5u);
  EXPECT_EQ(trace.fixes[0].timestamp(), at("2024-06-01T23:59:58Z"));
  EXPECT_EQ(trace.fixes[1].timestamp(), at("2024-06-01T23:59:59Z"));
  EXPECT_EQ(trace.fixes[2].timestamp(), at("2024-06-02T00:00:00Z"));
  // Later the same day, then past the next midnight without a date sentence.
  EXPECT_EQ(trace.fixes[3].timestamp(), at("2024-06-02T23:59:59Z"));
  EXPECT_EQ(trace.fixes[4].timestamp(), at("2024-06-03T00:00:01Z"));
}

TEST(NmeaReaderTest, PositionsWithoutAnyDateStopTheReadAtTheFirstFix) {
  const std::string log = sentence("GPGSV,1,1,01,01,40,083,46") +
                          sentence("GPGGA,120000.00,4851.0000,N,00221.0000,E,1,08,1.0,35.0,M,,M,,");
  try {
    NmeaReader::read(log);
    FAIL() << "read a log without a date";
  } catch (const TraceReadError& error) {
    EXPECT_EQ(error.line(), 2u);
    EXPECT_THAT(error.what(), HasSubstr("no date"));
  }
  // Without any position there is nothing to date: an empty trace, not an error.
  EXPECT_TRUE(NmeaReader::read(sentence("GPGGA,,,,,,0,,,,M,,M,,")).fixes.empty());
}

}  // namespace
}  // namespace trevalo::simulation
