#include "platform/linux/GpsdFix.h"

#include <gtest/gtest.h>

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

struct MappingCase {
  const char* name;
  GpsdFix fix;
  double horizontalAccuracy, altitude, verticalAccuracy, course, speed;
};

GpsdFix base() {
  GpsdFix fix;
  fix.time = Date(1552387913.408);
  fix.coordinate = {50.84, 4.347};
  return fix;
}

GpsdFix with(std::function<void(GpsdFix&)> change) {
  auto fix = base();
  change(fix);
  return fix;
}

class GpsdFixMappingTest : public ::testing::TestWithParam<MappingCase> {};

TEST_P(GpsdFixMappingTest, TheFixBecomesAPlatformLocation) {
  const auto& c = GetParam();
  const Location location = c.fix.location();
  EXPECT_EQ(location.coordinate(), (Coordinate{50.84, 4.347}));
  EXPECT_EQ(location.timestamp(), Date(1552387913.408));
  EXPECT_DOUBLE_EQ(location.horizontalAccuracy(), c.horizontalAccuracy);
  EXPECT_EQ(location.altitude(), c.altitude);
  EXPECT_EQ(location.verticalAccuracy(), c.verticalAccuracy);
  EXPECT_EQ(location.course(), c.course);
  EXPECT_EQ(location.speed(), c.speed);
}

INSTANTIATE_TEST_SUITE_P(
    Reports, GpsdFixMappingTest,
    ::testing::Values(MappingCase{"Complete3D", with([](GpsdFix& f) {
                                    f.threeDimensional = true;
                                    f.horizontalError = 12.5;
                                    f.longitudeError = 3;
                                    f.latitudeError = 4;
                                    f.altitude = 109;
                                    f.ellipsoidAltitude = 154.8;
                                    f.verticalError = 20;
                                    f.track = 303.6;
                                    f.speed = 0;  // standing still is a speed, not an absent one
                                  }),
                                  12.5, 109, 20, 303.6, 0},
                      // Without the horizontal estimate, the two axes combine: 3-4-5.
                      MappingCase{"AxesOnly", with([](GpsdFix& f) {
                                    f.longitudeError = 3;
                                    f.latitudeError = 4;
                                  }),
                                  5, 0, -1, -1, -1},
                      MappingCase{"OneAxisIsNotEnough",
                                  with([](GpsdFix& f) { f.longitudeError = 3; }), -1, 0, -1, -1,
                                  -1},
                      // A 2D fix has no altitude, whatever the report still carries.
                      MappingCase{"TwoDimensional", with([](GpsdFix& f) {
                                    f.horizontalError = 8;
                                    f.altitude = 40;
                                    f.verticalError = 9;
                                  }),
                                  8, 0, -1, -1, -1},
                      MappingCase{"EllipsoidHeightWithoutMeanSeaLevel", with([](GpsdFix& f) {
                                    f.threeDimensional = true;
                                    f.horizontalError = 8;
                                    f.ellipsoidAltitude = 154.8;
                                  }),
                                  8, 154.8, -1, -1, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GpsdFixHeadingTest, TheTrackIsTheHeadingWhenThereIsOne) {
  EXPECT_FALSE(base().heading()) << "no track, no heading";
  const auto heading = with([](GpsdFix& f) {
                         f.track = 303.6;
                         f.magneticTrack = 304.95;
                         f.trackError = 4;
                       }).heading();
  ASSERT_TRUE(heading);
  EXPECT_EQ(heading->trueHeading, 303.6);
  EXPECT_EQ(heading->magneticHeading, 304.95);
  EXPECT_EQ(heading->headingAccuracy, 4);
  EXPECT_EQ(heading->timestamp, Date(1552387913.408));

  const auto trueOnly = with([](GpsdFix& f) { f.track = 10; }).heading();
  ASSERT_TRUE(trueOnly);
  EXPECT_EQ(trueOnly->magneticHeading, 10) << "the true track stands in for the magnetic one";
  EXPECT_EQ(trueOnly->headingAccuracy, -1);
}

}  // namespace
}  // namespace trevalo::platform
