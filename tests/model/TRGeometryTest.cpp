#include "trevalo/model/TRGeometry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <numbers>
#include <string>

#include "model/ModelTestSupport.h"
#include "trevalo/model/shape/TRLocation.h"
#include "trevalo/model/shape/TRMultiPolygon.h"
#include "trevalo/model/shape/TRPoint.h"
#include "trevalo/model/shape/TRSinglePolygon.h"
#include "trevalo/platform/ArchiveError.h"
#include "trevalo/platform/Exception.h"

namespace trevalo {
namespace {

using testing::archivedKeys;
using testing::archiveRoundTrip;
using ::testing::ElementsAre;
using testing::snapshot;

// 50 m along a meridian near the equator, and along the equator.
constexpr double k50Metres = 50.0 / 110574.3;
constexpr double k50MetresEast = 50.0 / 111319.5;

TRLocation at(double latitude, double longitude) {
  return TRLocation(Location({latitude, longitude}, 0.0, 5.0, -1.0, -1.0, -1.0, Date(1.0e9)));
}

Location fix(double latitude, double longitude) {
  return Location({latitude, longitude}, 0, 0, -1, -1, -1, Date(0.0));
}

std::shared_ptr<TRSinglePolygon> polygon(const char* ring) {
  return TRSinglePolygon::initWithShapeJSON(
      Json{{"type", "Polygon"}, {"coordinates", Json::array({Json::parse(ring)})}});
}

const char* const kUnitSquare = "[[0,0],[1,0],[1,1],[0,1],[0,0]]";
const char* const kUnclosedUnitSquare = "[[0,0],[1,0],[1,1],[0,1]]";
const char* const kAcrossTheAntimeridian = "[[179,-1],[-179,-1],[-179,1],[179,1],[179,-1]]";
const char* const kNotched = "[[0,0],[4,0],[4,4],[2,1],[0,4],[0,0]]";

// --- TRLocation ------------------------------------------------------------------------------

TEST(TRLocationTest, TheEarthCentredPositionAndItsInverse) {
  // x and y scale by the equatorial radius, z by the polar one.
  const TRLocation east = at(0.0, 90.0);
  EXPECT_NEAR(east.x(), 0.0, 1e-6);
  EXPECT_DOUBLE_EQ(east.y(), 6378137.0);
  EXPECT_DOUBLE_EQ(east.lngRadians(), std::numbers::pi / 2);
  const TRLocation pole = at(90.0, 0.0);
  EXPECT_DOUBLE_EQ(pole.z(), 6356752.314245);
  EXPECT_DOUBLE_EQ(pole.latRadians(), std::numbers::pi / 2);
  TRLocation moved = at(0.0, 0.0);
  moved.setLocation(fix(0.0, 90.0));
  EXPECT_DOUBLE_EQ(moved.y(), 6378137.0) << "a new fix recomputes the position";

  for (const Coordinate c :
       {Coordinate{48.85, 2.35}, Coordinate{-33.87, 151.21}, Coordinate{0.0, -179.9},
        Coordinate{89.9, 10.0}, Coordinate{-89.99, -45.0}, Coordinate{0.0, 0.0}}) {
    SCOPED_TRACE(::testing::Message() << c.latitude << "," << c.longitude);
    const TRLocation forward = at(c.latitude, c.longitude);
    const TRLocation back =
        TRLocation::initWithX(forward.x(), forward.y(), forward.z(), Date(0.0), 0, 0, 0, 0);
    EXPECT_NEAR(back.location().coordinate().latitude, c.latitude, 1e-9);
    EXPECT_NEAR(back.location().coordinate().longitude, c.longitude, 1e-9);
  }

  const TRLocation back = TRLocation::initWithX(1.0, 2.0, 3.0, Date(7.5), 12.0, 90.0, 1.5, 8.0);
  EXPECT_EQ(back.location(),
            Location(back.location().coordinate(), 12.0, 8.0, 10.0, 90.0, 1.5, Date(7.5)));
  EXPECT_EQ(back.z(), 3.0) << "the point is kept as given";
  EXPECT_EQ(back.latRadians(), 0.0) << "nothing is recomputed on this path";

  // Rounding can carry a point a hair beyond the pole.
  const TRLocation beyond =
      TRLocation::initWithX(0.0, 0.0, 6356752.314245 * (1 + 1e-12), Date(0.0), 0, 0, 0, 0);
  EXPECT_EQ(beyond.location().coordinate().latitude, 90.0);
}

// Claims to be a TRLocation but writes nothing.
struct HollowLocation final : platform::Archivable {
  std::string archiveClassName() const override { return TRLocation::kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver&) const override {}
};

TEST(TRLocationTest, ArchivesOnlyTheFixAndRecomputesOnReading) {
  auto original = std::make_shared<TRLocation>(at(48.85, 2.35));
  original->setIsVenueCoordinate(true);

  const auto restored = archiveRoundTrip(original);

  EXPECT_EQ(restored->location(), original->location());
  EXPECT_EQ(restored->x(), original->x());
  EXPECT_EQ(restored->latRadians(), original->latRadians());
  EXPECT_FALSE(restored->isVenueCoordinate());
  EXPECT_THAT(archivedKeys(original, "TRLocation"), ElementsAre("location"));

  const auto hollow =
      platform::KeyedArchiver::archivedDataWithRootObject(std::make_shared<HollowLocation>());
  EXPECT_THROW(platform::KeyedUnarchiver::unarchiveObjectOfClass<TRLocation>(hollow),
               platform::ArchiveError)
      << "an archive without the fix is damaged";
}

// --- Polygons --------------------------------------------------------------------------------

// Containment counts crossings along the meridian; the distance is signed by containment and
// capped at 1000 m (a lone vertex is not a ring, so it is not capped). The Earth-centred
// projection measures a point on an edge a couple of metres off it.
TEST(TRSinglePolygonTest, ContainmentAndSignedDistance) {
  const struct {
    const char* name;
    const char* ring;
    double latitude, longitude;
    bool inside;
    double distance, tolerance;
  } cases[] = {
      {"SquareCentre", kUnitSquare, 0.5, 0.5, true, -1000.0, 0.0},
      {"SquareEastOfIt", kUnitSquare, 0.5, 1.5, false, 1000.0, 0.0},
      {"SquareNorthOfIt", kUnitSquare, 1.5, 0.5, false, 1000.0, 0.0},
      {"SquareSouthOfIt", kUnitSquare, -0.5, 0.5, false, 1000.0, 0.0},
      {"SquareWestEdge", kUnitSquare, 0.5, 0.0, false, 0.0, 2.5},
      {"SquareEastEdge", kUnitSquare, 0.5, 1.0, true, 0.0, 2.5},
      {"JustInside", kUnitSquare, k50Metres, 0.5, true, -50.0, 0.1},
      {"SouthOfTheSouthEdge", kUnitSquare, -k50Metres, 0.5, false, 50.0, 0.1},
      {"BeyondACorner", kUnitSquare, -k50Metres, -k50MetresEast, false, 70.7, 0.1},
      {"UnclosedCentre", kUnclosedUnitSquare, 0.5, 0.5, true, -1000.0, 0.0},
      {"BesideTheClosingEdge", kUnclosedUnitSquare, 0.5, -k50MetresEast, false, 50.0, 0.1},
      {"AntimeridianEastSide", kAcrossTheAntimeridian, 0.0, 179.5, true, -1000.0, 0.0},
      {"AntimeridianWestSide", kAcrossTheAntimeridian, 0.0, -179.5, true, -1000.0, 0.0},
      {"AntimeridianBeyondEast", kAcrossTheAntimeridian, 0.0, 178.0, false, 1000.0, 0.0},
      {"AntimeridianBeyondWest", kAcrossTheAntimeridian, 0.0, -178.0, false, 1000.0, 0.0},
      {"AntimeridianNorthOfIt", kAcrossTheAntimeridian, 2.0, 179.5, false, 1000.0, 0.0},
      {"InTheNotch", kNotched, 2.0, 2.0, false, 1000.0, 0.0},
      {"InAnArm", kNotched, 2.0, 0.5, true, -1000.0, 0.0},
      {"NoVertices", "[]", 0.0, 0.0, false, 1000.0, 0.0},
      {"LoneVertex", "[[0,0]]", 0.0, 0.1, false, 11131.9, 0.1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto shape = polygon(c.ring);
    EXPECT_EQ(shape->containsLocation(at(c.latitude, c.longitude)), c.inside);
    EXPECT_NEAR(shape->distanceTo(at(c.latitude, c.longitude)), c.distance, c.tolerance);
  }
}

TEST(TRSinglePolygonTest, HugeLongitudesEndInsteadOfLoopingForever) {
  const auto shape = polygon("[[-1e300,0],[1e300,1],[0,1],[-1e300,0]]");
  EXPECT_NO_THROW(shape->containsLocation(at(0.5, 10.0)));
  EXPECT_NO_THROW(shape->containsLocation(at(0.5, -10.0)));
}

TEST(TRSinglePolygonTest, ASegmentMeasuresFromItsNearestPoint) {
  const Coordinate start{0.0, 0.0};
  const Coordinate end{0.0, 0.01};
  const auto distance = [&](double latitude, double longitude) {
    return TRSinglePolygon::distanceToLineSegmentWithStart(start, end, at(latitude, longitude));
  };

  EXPECT_NEAR(distance(k50Metres, 0.005), 50.0, 0.1) << "beside the middle";
  EXPECT_DOUBLE_EQ(distance(k50Metres, -0.001),
                   fix(0.0, 0.0).distanceFromLocation(fix(k50Metres, -0.001)))
      << "before the start";
  EXPECT_DOUBLE_EQ(distance(k50Metres, 0.011),
                   fix(0.0, 0.01).distanceFromLocation(fix(k50Metres, 0.011)))
      << "past the end";
  EXPECT_DOUBLE_EQ(TRSinglePolygon::distanceToLineSegmentWithStart(start, start, at(0.0, 0.001)),
                   fix(0.0, 0.0).distanceFromLocation(fix(0.0, 0.001)))
      << "a segment of no length is its start";
}

// --- Points and multi-polygons ---------------------------------------------------------------

TEST(TRPointTest, ContainsNothingAndMeasuresToItsPosition) {
  const auto nested = TRPoint::initWithShapeJSON(
      Json::parse(R"({"type": "Point", "coordinates": [[2.35, 48.85]]})"));
  const auto bare =
      TRPoint::initWithShapeJSON(Json::parse(R"({"type": "Point", "coordinates": [2.35, 48.85]})"));
  const double expected = fix(48.85, 2.35).distanceFromLocation(fix(48.851, 2.35));

  EXPECT_FALSE(nested->containsLocation(at(48.85, 2.35)));
  EXPECT_DOUBLE_EQ(nested->distanceTo(at(48.851, 2.35)), expected);
  EXPECT_DOUBLE_EQ(bare->distanceTo(at(48.851, 2.35)), expected);
  EXPECT_EQ(nested->coordinates(), Json::parse("[[2.35, 48.85]]")) << "kept as given";

  // Without a usable position it is as far as an empty shape.
  for (const char* coordinates : {"[]", "[[\"a\", 1]]", "[[1]]", "null", "{\"x\": 1}"}) {
    const auto point = TRPoint::initWithShapeJSON(
        Json{{"type", "Point"}, {"coordinates", Json::parse(coordinates)}});
    EXPECT_EQ(point->distanceTo(at(0.0, 0.0)), 1000.0) << coordinates;
  }
}

TEST(TRMultiPolygonTest, AnyMemberContainsAndTheNearestMemberMeasures) {
  // Two unit squares a degree apart; the second given as a list of rings (outer ring and hole).
  const auto multi = TRMultiPolygon::initWithShapeJSON(Json::parse(R"({
      "type": "MultiPolygon",
      "coordinates": [
        [[0,0],[1,0],[1,1],[0,1],[0,0]],
        [[[2,0],[3,0],[3,1],[2,1],[2,0]], [[2.4,0.4],[2.6,0.4],[2.6,0.6],[2.4,0.4]]]
      ]})"));

  ASSERT_EQ(multi->coordinates().size(), 2u);
  EXPECT_EQ(multi->coordinates()[1]->vertices().size(), 5u);
  EXPECT_TRUE(multi->containsLocation(at(0.5, 0.5)));
  EXPECT_TRUE(multi->containsLocation(at(0.5, 2.5)));
  EXPECT_FALSE(multi->containsLocation(at(0.5, 1.5)));
  EXPECT_NEAR(multi->distanceTo(at(0.5, 2.0 - k50MetresEast)), 50.0, 0.1);
  EXPECT_NEAR(multi->distanceTo(at(k50Metres, 2.5)), -50.0, 0.1) << "inside wins";

  const auto empty = TRMultiPolygon::initWithShapeJSON(
      Json::parse(R"({"type": "MultiPolygon", "coordinates": []})"));
  EXPECT_FALSE(empty->containsLocation(at(0.0, 0.0)));
  EXPECT_EQ(empty->distanceTo(at(0.0, 0.0)), 1000.0);
}

// A shape that overrides none of the operations.
struct LazyShape final : TRGeometryShape {
  std::string archiveClassName() const override { return "LazyShape"; }
  void encodeWithCoder(platform::KeyedArchiver&) const override {}
  void read(const Json& json) { readShapeJson(json); }
};

TEST(TRGeometryShapeTest, TheBaseOperationsDemandAnOverride) {
  LazyShape shape;
  const auto demandsOverride = [](const std::string& operation) {
    return ::testing::Throws<Exception>(
        ::testing::AllOf(::testing::Property(&Exception::name, Exception::kInternalInconsistency),
                         ::testing::Property(&Exception::reason,
                                             "You must override " + operation + " in a subclass")));
  };
  EXPECT_THAT([&] { shape.containsLocation(at(0, 0)); }, demandsOverride("containsLocation:"));
  EXPECT_THAT([&] { shape.distanceTo(at(0, 0)); }, demandsOverride("distanceTo:"));
  EXPECT_THAT([&] { shape.read(Json::object()); }, demandsOverride("parseCoordinates:"));
}

// --- TRGeometry ------------------------------------------------------------------------------

TEST(TRGeometryTest, TheGeometryMapsTypePicksTheShape) {
  const struct {
    Json type;
    const char* shapeClass;  // nullptr: no shape
  } cases[] = {{"Polygon", "TRSinglePolygon"},
               {"MultiPolygon", "TRMultiPolygon"},
               {"Point", "TRPoint"},
               {"LineString", nullptr},
               {"polygon", nullptr},
               {3, nullptr},
               {Json(), nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type.dump());
    Json geometryMap = {{"coordinates", Json::parse("[[[0,0],[1,0],[1,1],[0,0]]]")}};
    if (!c.type.is_null()) geometryMap["type"] = c.type;

    const auto geometry =
        TRGeometry::initWithDictionary(Json{{"id", "g"}, {"geometry", geometryMap}});

    EXPECT_EQ(geometry->geometry, geometryMap) << "the raw map is kept whatever its type";
    EXPECT_EQ(geometry->geometryShape ? geometry->geometryShape->archiveClassName() : "",
              c.shapeClass ? c.shapeClass : "");
  }
}

TEST(TRGeometryTest, ReadsItsFieldsByTheLenientRules) {
  const auto geometry = TRGeometry::initWithDictionary(Json::parse(R"({
      "id": "g-1", "class": "building", "type": "Feature", "inside": 1, "dist": 12.9,
      "geometry": "not a map"})"));
  EXPECT_EQ(snapshot(geometry), Json::parse(R"({"geometryId": "g-1", "geometryClass": "building",
      "type": "Feature", "geometry": null, "geometryShape": null, "inside": true, "dist": 12})"));
  EXPECT_EQ(TRGeometry::initWithDictionary(Json{{"dist", -3}})->dist, 0u)
      << "a negative distance does not wrap round";

  EXPECT_EQ(snapshot(TRGeometry::initWithDictionary(Json("g"))),
            snapshot(std::make_shared<TRGeometry>()));
}

// The archive records the concrete shape, so a restored geometry answers as the original did.
TEST(TRGeometryTest, ARoundTripKeepsTheShapeAndItsKind) {
  for (const char* json : {
           R"({"id": "p", "inside": true, "dist": 9007199254740993, "geometry": {"type": "Polygon",
               "coordinates": [[[0,0],[1,0],[1,1],[0,1],[0,0]]]}})",
           R"({"id": "m", "geometry": {"type": "MultiPolygon",
               "coordinates": [[[0,0],[1,0],[1,1],[0,0]], [], [[5,5],[6,5],[6,6],[5,5]]]}})",
           R"({"id": "pt", "geometry": {"type": "Point", "coordinates": [[0.5, 0.49]]}})",
           R"({"id": "pt", "geometry": {"type": "Point"}})",
           R"({"id": "line", "geometry": {"type": "LineString", "coordinates": [[0,0],[1,1]]}})",
           R"({})"}) {
    SCOPED_TRACE(json);
    const auto geometry = TRGeometry::initWithDictionary(Json::parse(json));

    const auto restored = archiveRoundTrip(geometry);

    EXPECT_EQ(snapshot(restored), snapshot(geometry));
    if (geometry->geometryShape) {
      ASSERT_NE(restored->geometryShape, nullptr);
      if (geometry->geometryId == "p") {
        EXPECT_TRUE(restored->geometryShape->containsLocation(at(0.5, 0.5)));
      }
      for (const TRLocation& probe : {at(0.5, 0.5), at(-k50Metres, 0.5)}) {
        EXPECT_EQ(restored->geometryShape->containsLocation(probe),
                  geometry->geometryShape->containsLocation(probe));
        EXPECT_EQ(restored->geometryShape->distanceTo(probe),
                  geometry->geometryShape->distanceTo(probe));
      }
    }
  }
}

}  // namespace
}  // namespace trevalo
