// The GPX reader against hand-made files: gaps, duplicate times, points out of order,
// extensions, unusable points and files that are not GPX.
#include "simulation/GpxReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "simulation/NmeaReader.h"
#include "simulation/TimeText.h"
#include "simulation/TraceReadError.h"
#include "simulation/TraceReader.h"

namespace trevalo::simulation {
namespace {

using ::testing::HasSubstr;

std::string gpx(const std::string& points) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
         "     xmlns:tp=\"urn:example:trackpoint\">\n"
         "<trk><trkseg>\n" +
         points + "</trkseg></trk>\n</gpx>\n";
}

std::string point(double lat, const char* time, const std::string& inside = "") {
  return "<trkpt lat=\"" + std::to_string(lat) + "\" lon=\"2.35\"><time>" + time + "</time>" +
         inside + "</trkpt>\n";
}

double seconds(const Location& fix) {
  return fix.timestamp().timeIntervalSince1970() -
         TimeText::parseIso8601("2024-06-01T08:00:00Z")->timeIntervalSince1970();
}

TEST(GpxReaderTest, PointsComeInTimeOrderWithDuplicatesDroppedAndGapsKept) {
  const Trace trace = GpxReader::read(gpx(point(48.850, "2024-06-01T08:00:00Z") +
                                          point(48.851, "2024-06-01T08:00:02Z") +
                                          point(48.852, "2024-06-01T08:00:01Z") +   // early
                                          point(48.853, "2024-06-01T08:00:02Z") +   // duplicate
                                          point(48.854, "2024-06-01T08:20:00Z")));  // gap
  EXPECT_EQ(trace.format, TraceFormat::kGpx);
  ASSERT_EQ(trace.fixes.size(), 4u);
  EXPECT_EQ(seconds(trace.fixes[0]), 0.0);
  EXPECT_EQ(seconds(trace.fixes[1]), 1.0);
  EXPECT_DOUBLE_EQ(trace.fixes[1].coordinate().latitude, 48.852);
  // Of the two points at 08:00:02 the first in the file stays.
  EXPECT_DOUBLE_EQ(trace.fixes[2].coordinate().latitude, 48.851);
  EXPECT_EQ(seconds(trace.fixes[3]), 1200.0);
  EXPECT_EQ(trace.notes.reordered, 1u);
  EXPECT_EQ(trace.notes.duplicates, 1u);
}

TEST(GpxReaderTest, ReadsElevationPrecisionSpeedAndCourseWhereverTheyAre) {
  const Trace trace = GpxReader::read(
      gpx(point(48.85, "2024-06-01T08:00:00.500+02:00",
                "<ele>35.5</ele><hdop>1.4</hdop><speed>1.5</speed><course>270</course>") +
          point(48.86, "2024-06-01T06:00:01Z",
                "<extensions><tp:TrackPointExtension><tp:speed>12.5</tp:speed>"
                "<tp:bearing>45</tp:bearing><tp:hacc>7</tp:hacc></tp:TrackPointExtension>"
                "</extensions>") +
          point(48.87, "2024-06-01T06:00:02Z", "<course>400</course><speed>-3</speed>")));
  ASSERT_EQ(trace.fixes.size(), 3u);
  const Location& first = trace.fixes[0];
  EXPECT_EQ(seconds(first), -7199.5);  // +02:00 is two hours ahead of UTC
  EXPECT_DOUBLE_EQ(first.altitude(), 35.5);
  EXPECT_DOUBLE_EQ(first.horizontalAccuracy(), 1.4 * NmeaReader::kRangeErrorMeters);
  EXPECT_DOUBLE_EQ(first.speed(), 1.5);
  EXPECT_DOUBLE_EQ(first.course(), 270.0);
  EXPECT_GT(first.verticalAccuracy(), 0.0);
  const Location& second = trace.fixes[1];
  EXPECT_DOUBLE_EQ(second.speed(), 12.5);
  EXPECT_DOUBLE_EQ(second.course(), 45.0);
  EXPECT_DOUBLE_EQ(second.horizontalAccuracy(), 7.0);
  EXPECT_LT(second.verticalAccuracy(), 0.0);  // no elevation
  // Values out of range are invalid, not clamped.
  const Location& third = trace.fixes[2];
  EXPECT_DOUBLE_EQ(third.course(), -1.0);
  EXPECT_DOUBLE_EQ(third.speed(), -1.0);
  EXPECT_DOUBLE_EQ(third.horizontalAccuracy(), GpxReader::kAccuracyWithoutHdop);
}

TEST(GpxReaderTest, UnusablePointsAreSkippedWithTheirLines) {
  const Trace trace = GpxReader::read(
      gpx(point(48.85, "2024-06-01T08:00:00Z") +            // line 5
          "<trkpt lat=\"48.86\" lon=\"2.35\"></trkpt>\n" +  // line 6: no time
          "<trkpt lat=\"north\" lon=\"2.35\"><time>2024-06-01T08:00:02Z</time></trkpt>\n" +
          point(48.87, "yesterday") +  // line 8
          "<trkpt lat=\"91\" lon=\"2.35\"><time>2024-06-01T08:00:04Z</time></trkpt>\n" +
          point(48.88, "2024-06-01T08:00:05Z")));
  EXPECT_EQ(trace.fixes.size(), 2u);
  EXPECT_EQ(trace.notes.broken, 4u);
  EXPECT_THAT(trace.notes.warnings,
              ::testing::ElementsAre("line 6: track point without a time",
                                     "line 7: track point without a usable lat and lon",
                                     "line 8: track point with an unreadable time",
                                     "line 9: track point without a usable lat and lon"));
}

TEST(GpxReaderTest, FilesThatAreNotGpxStopAtTheFaultyLine) {
  const std::pair<std::string, std::size_t> cases[] = {
      {"<?xml version=\"1.0\"?>\n<gpx>\n<trk>\n<trkseg>\n</trk>\n</gpx>\n", 5},
      {"<?xml version=\"1.0\"?>\n\n<kml><Document/></kml>\n", 3},
      {"<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"><time>", 1}};
  for (const auto& [content, line] : cases) {
    SCOPED_TRACE(content);
    try {
      TraceReader::read(content);
      FAIL() << "read a file that is not GPX";
    } catch (const TraceReadError& error) {
      EXPECT_EQ(error.line(), line);
    }
  }
}

TEST(GpxReaderTest, TimesFollowIso8601WithZonesAndFractions) {
  const std::pair<const char*, std::optional<double>> cases[] = {
      {"2024-06-01T08:00:00Z", 1717228800.0},
      {"2024-06-01T08:00:00.25Z", 1717228800.25},
      {"2024-06-01T10:30:00+02:30", 1717228800.0},
      {"2024-06-01T05:00:00-0300", 1717228800.0},
      {"2024-06-01T08:00:00", 1717228800.0},
      {"2024-02-30T08:00:00Z", std::nullopt},
      {"2024-06-01T24:00:00Z", std::nullopt},
      {"2024-06-01T08:00:00Zulu", std::nullopt},
      {"2024-06-01", std::nullopt}};
  for (const auto& [text, seconds] : cases) {
    SCOPED_TRACE(text);
    const auto date = TimeText::parseIso8601(text);
    ASSERT_EQ(date.has_value(), seconds.has_value());
    if (date) {
      EXPECT_DOUBLE_EQ(date->timeIntervalSince1970(), *seconds);
    }
  }
}

}  // namespace
}  // namespace trevalo::simulation
