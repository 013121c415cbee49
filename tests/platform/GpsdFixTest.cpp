#include "platform/linux/GpsdFix.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/linux/LibgpsSession.h"

namespace trevalo::platform {
namespace {

// What libgps makes of one line of gpsd's JSON, as the session would see it.
std::optional<GpsdFix> unpack(std::string line) {
  gps_data_t data{};
  EXPECT_EQ(gps_unpack(line.data(), &data), 0) << line;
  return LibgpsSession::fixFromReport(line, data);
}

constexpr const char* kFull =
    R"({"class":"TPV","device":"/dev/pts/1","mode":3,"time":"2019-03-12T10:51:53.408Z",)"
    R"("ept":0.005,"lat":50.840203333,"lon":4.347108333,"altHAE":154.79,"altMSL":109.0,)"
    R"("alt":109.0,"epx":15.076,"epy":31.255,"epv":74.75,"track":303.6,"magtrack":304.9513,)"
    R"("magvar":1.4,"speed":0.067,"geoidSep":45.79,"eph":42.75,"sep":76.0})";

TEST(GpsdReportTest, APositionReportBecomesAFixAndEverythingElseDoesNot) {
  const auto fix = unpack(kFull);
  ASSERT_TRUE(fix);
  EXPECT_DOUBLE_EQ(fix->time.timeIntervalSince1970(), 1552387913.408);
  EXPECT_EQ(fix->coordinate, (Coordinate{50.840203333, 4.347108333}));
  EXPECT_TRUE(fix->threeDimensional);
  EXPECT_EQ(fix->altitude, 109.0);
  EXPECT_EQ(fix->horizontalError, 42.75);
  EXPECT_EQ(fix->track, 303.6);
  EXPECT_EQ(fix->magneticTrack, 304.9513);
  EXPECT_EQ(fix->speed, 0.067);
  EXPECT_TRUE(std::isnan(fix->trackError)) << "not in the report";

  for (const std::string other : {
           // No fix yet, a fix without a time, a fix without a position.
           R"({"class":"TPV","device":"/dev/pts/1","mode":1})",
           R"({"class":"TPV","device":"/dev/pts/1","mode":3,"lat":50.84,"lon":4.34,"eph":42.75})",
           R"({"class":"TPV","device":"/dev/pts/1","mode":2,"time":"2019-03-12T10:51:53.408Z"})",
           R"({"class":"SKY","device":"/dev/pts/1","hdop":7.5,"nSat":12,"uSat":5,"satellites":[]})",
           R"({"class":"VERSION","release":"3.22","rev":"3.22","proto_major":3,"proto_minor":14})",
       }) {
    EXPECT_FALSE(unpack(other)) << other;
  }
  // A report that is not a position report says nothing, even with the fix of the one before
  // still in libgps's record.
  gps_data_t data{};
  std::string line = kFull;
  gps_unpack(line.data(), &data);
  std::string sky = R"({"class":"SKY","device":"/dev/pts/1","hdop":7.5,"satellites":[]})";
  gps_unpack(sky.data(), &data);
  EXPECT_FALSE(LibgpsSession::fixFromReport(sky, data));
}

const Date kTime(1552387913.408);
constexpr Coordinate kWhere{50.84, 4.347};

struct MappingCase {
  const char* name;
  GpsdFix fix;
  std::array<double, 5> expected;  // horizontal accuracy, altitude, its accuracy, course, speed
};

class GpsdFixMappingTest : public ::testing::TestWithParam<MappingCase> {};

TEST_P(GpsdFixMappingTest, TheFixBecomesAPlatformLocation) {
  const auto& c = GetParam();
  const Location location = c.fix.location();
  EXPECT_EQ(location.coordinate(), kWhere);
  EXPECT_EQ(location.timestamp(), kTime);
  EXPECT_EQ((std::array{location.horizontalAccuracy(), location.altitude(),
                        location.verticalAccuracy(), location.course(), location.speed()}),
            c.expected);
}

GpsdFix fixWith(double altitude, double ellipsoidAltitude, double horizontalError,
                double longitudeError, double latitudeError) {
  return {.time = kTime,
          .coordinate = kWhere,
          .altitude = altitude,
          .ellipsoidAltitude = ellipsoidAltitude,
          .horizontalError = horizontalError,
          .longitudeError = longitudeError,
          .latitudeError = latitudeError,
          .verticalError = 20};
}

GpsdFix in3D(GpsdFix fix, double track = GpsdFix::kMissing, double speed = GpsdFix::kMissing) {
  fix.threeDimensional = true;
  fix.track = track;
  fix.speed = speed;
  return fix;
}

constexpr double kNone = GpsdFix::kMissing;

// Standing still is a speed, not an absent one. Without the horizontal estimate the two axes
// combine (3-4-5), one axis is not enough; a 2D fix has no altitude whatever the report carries.
INSTANTIATE_TEST_SUITE_P(
    Reports, GpsdFixMappingTest,
    ::testing::Values(
        MappingCase{"Complete3D",
                    in3D(fixWith(109, 154.8, 12.5, 3, 4), 303.6, 0),
                    {12.5, 109, 20, 303.6, 0}},
        MappingCase{"AxesOnly", fixWith(kNone, kNone, kNone, 3, 4), {5, 0, -1, -1, -1}},
        MappingCase{
            "OneAxisIsNotEnough", fixWith(kNone, kNone, kNone, 3, kNone), {-1, 0, -1, -1, -1}},
        MappingCase{"TwoDimensional", fixWith(40, kNone, 8, kNone, kNone), {8, 0, -1, -1, -1}},
        MappingCase{"EllipsoidHeightWithoutMeanSeaLevel",
                    in3D(fixWith(kNone, 154.8, 8, kNone, kNone)),
                    {8, 154.8, 20, -1, -1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GpsdFixHeadingTest, TheTrackIsTheHeadingWhenThereIsOne) {
  auto fix = fixWith(kNone, kNone, 8, kNone, kNone);
  EXPECT_FALSE(fix.heading()) << "no track, no heading";
  fix.track = 10;
  // The true track stands in for a missing magnetic one.
  EXPECT_EQ(fix.heading(), (Heading{10, 10, -1, 0, 0, 0, kTime}));
  fix.magneticTrack = 304.95;
  fix.trackError = 4;
  EXPECT_EQ(fix.heading(), (Heading{304.95, 10, 4, 0, 0, 0, kTime}));
}

}  // namespace
}  // namespace trevalo::platform
