#include "trevalo/model/TRGeometry.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "model/ModelTestSupport.h"
#include "model/shape/TRLocation.h"
#include "platform/ArchiveError.h"

namespace trevalo {
namespace {

using testing::archiveRoundTrip;
using testing::snapshot;

// 50 m along a meridian near the equator, and along the equator.
constexpr double k50Metres = 50.0 / 110574.3;
constexpr double k50MetresEast = 50.0 / 111319.5;

TRLocation at(double latitude, double longitude) {
  return TRLocation(Location({latitude, longitude}, 0.0, 5.0, -1.0, -1.0, -1.0, Date(1.0e9)));
}

std::shared_ptr<TRGeometryShape> shape(const char* type, const char* coordinates) {
  return TRGeometry::initWithDictionary(
             Json{{"geometry", {{"type", type}, {"coordinates", Json::parse(coordinates)}}}})
      ->geometryShape;
}

const char* const kUnitSquare = "[[[0,0],[1,0],[1,1],[0,1],[0,0]]]";
const char* const kUnclosedUnitSquare = "[[[0,0],[1,0],[1,1],[0,1]]]";
const char* const kAcrossTheAntimeridian = "[[[179,-1],[-179,-1],[-179,1],[179,1],[179,-1]]]";
const char* const kNotched = "[[[0,0],[4,0],[4,4],[2,1],[0,4],[0,0]]]";
// Two unit squares a degree apart; the second given with a hole, which is not part of it.
const char* const kTwoSquares =
    "[[[0,0],[1,0],[1,1],[0,1],[0,0]], [[[2,0],[3,0],[3,1],[2,1],[2,0]], "
    "[[2.4,0.4],[2.6,0.4],[2.6,0.6],[2.4,0.4]]]]";

// Containment counts crossings along the meridian; the distance is signed by containment and
// capped at 1000 m (a lone vertex is not a ring, so it is not capped). The Earth-centred
// projection measures a point on an edge a couple of metres off it. A ring that does not repeat
// its first vertex is closed, for distances as for containment.
TEST(TRGeometryShapeTest, ContainmentAndSignedDistance) {
  const struct {
    const char *name, *type, *coordinates;
    double latitude, longitude;
    bool inside;
    double distance, tolerance;
  } cases[] = {
      {"SquareCentre", "Polygon", kUnitSquare, 0.5, 0.5, true, -1000.0, 0.0},
      {"WestEdge", "Polygon", kUnitSquare, 0.5, 0.0, false, 0.0, 2.5},
      {"BeyondACorner", "Polygon", kUnitSquare, -k50Metres, -k50MetresEast, false, 70.7, 0.1},
      {"BesideTheClosingEdge", "Polygon", kUnclosedUnitSquare, 0.5, -k50MetresEast, false, 50.0,
       0.1},
      {"AntimeridianEast", "Polygon", kAcrossTheAntimeridian, 0.0, 179.5, true, -1000.0, 0.0},
      {"AntimeridianWest", "Polygon", kAcrossTheAntimeridian, 0.0, -179.5, true, -1000.0, 0.0},
      {"BeyondTheWestSide", "Polygon", kAcrossTheAntimeridian, 0.0, -178.0, false, 1000.0, 0.0},
      {"InTheNotch", "Polygon", kNotched, 2.0, 2.0, false, 1000.0, 0.0},
      {"NoVertices", "Polygon", "[[]]", 0.0, 0.0, false, 1000.0, 0.0},
      {"LoneVertex", "Polygon", "[[[0,0]]]", 0.0, 0.1, false, 11131.9, 0.1},
      {"InTheSecondMember", "MultiPolygon", kTwoSquares, k50Metres, 2.5, true, -50.0, 0.1},
      {"BetweenTheMembers", "MultiPolygon", kTwoSquares, 0.5, 2.0 - k50MetresEast, false, 50.0,
       0.1},
      {"BesideAPoint", "Point", "[[0, 0]]", k50Metres, 0.0, false, 50.0, 0.1},
      {"PointWithoutPosition", "Point", "[[\"a\", 1]]", 0.0, 0.0, false, 1000.0, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto measured = shape(c.type, c.coordinates);
    ASSERT_NE(measured, nullptr);
    EXPECT_EQ(measured->containsLocation(at(c.latitude, c.longitude)), c.inside);
    EXPECT_NEAR(measured->distanceTo(at(c.latitude, c.longitude)), c.distance, c.tolerance);
  }
}

// Wrapping a longitude once instead of adding 360 until it is positive: with a huge one the
// loop would never end.
TEST(TRGeometryShapeTest, HugeLongitudesEndInsteadOfLoopingForever) {
  const auto huge = shape("Polygon", "[[[-1e300,0],[1e300,1],[0,1],[-1e300,0]]]");
  EXPECT_NO_THROW(huge->containsLocation(at(0.5, 10.0)));
  EXPECT_NO_THROW(huge->containsLocation(at(0.5, -10.0)));
}

// Claims to be a TRLocation but writes nothing: a damaged archive, not a location at 0,0.
struct HollowLocation final : platform::Archivable {
  std::string archiveClassName() const override { return TRLocation::kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver&) const override {}
};

// Only the fix is archived; the Earth-centred position is recomputed when read. Going back, a
// point a hair beyond the pole (rounding) reads as the pole rather than NaN.
TEST(TRLocationTest, ThePoleInvertsAndOnlyTheFixIsArchived) {
  EXPECT_DOUBLE_EQ(at(90.0, 0.0).z(), 6356752.314245) << "z scales by the polar radius";
  const TRLocation beyond =
      TRLocation::initWithX(0.0, 0.0, 6356752.314245 * (1 + 1e-12), Date(0.0), 0, 0, 0, 0);
  EXPECT_EQ(beyond.location().coordinate().latitude, 90.0);

  const auto original = std::make_shared<TRLocation>(at(48.85, 2.35));
  const auto restored = archiveRoundTrip(original);
  EXPECT_EQ(restored->location(), original->location());
  EXPECT_EQ(restored->x(), original->x());
  const auto hollow =
      platform::KeyedArchiver::archivedDataWithRootObject(std::make_shared<HollowLocation>());
  EXPECT_THROW(platform::KeyedUnarchiver::unarchiveObjectOfClass<TRLocation>(hollow),
               platform::ArchiveError);
}

// The "type" picks the shape (case matters); the raw map is kept whatever it is. The archive
// records the concrete shape.
TEST(TRGeometryTest, TheTypePicksTheShapeAndARoundTripKeepsIt) {
  const struct {
    Json type;
    const char* shapeClass;  // "": no shape
  } cases[] = {{"Polygon", "TRSinglePolygon"},
               {"MultiPolygon", "TRMultiPolygon"},
               {"Point", "TRPoint"},
               {"polygon", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type.dump());
    const Json map = {{"type", c.type}, {"coordinates", Json::parse(kUnitSquare)}};
    const auto geometry = TRGeometry::initWithDictionary(
        Json{{"id", "g"}, {"dist", 9007199254740993}, {"geometry", map}});
    EXPECT_EQ(geometry->geometry, map);
    EXPECT_EQ(geometry->geometryShape ? geometry->geometryShape->archiveClassName() : "",
              c.shapeClass);

    // The snapshot names the shape's class and its coordinates: all that its answers rest on.
    EXPECT_EQ(snapshot(archiveRoundTrip(geometry)), snapshot(geometry));
  }
}

}  // namespace
}  // namespace trevalo
