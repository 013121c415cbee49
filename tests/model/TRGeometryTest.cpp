#include "trevalo/model/TRGeometry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>
#include <string>
#include <vector>

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
using testing::CaseName;
using ::testing::DoubleNear;
using ::testing::ElementsAre;
using testing::PrintTo;
using testing::snapshot;

// 50 m along a meridian near the equator, and along the equator.
constexpr double k50Metres = 50.0 / 110574.3;
constexpr double k50MetresEast = 50.0 / 111319.5;

TRLocation at(double latitude, double longitude) {
  return TRLocation(Location({latitude, longitude}, 0.0, 5.0, -1.0, -1.0, -1.0, Date(1.0e9)));
}

std::shared_ptr<TRSinglePolygon> polygon(const char* ring) {
  return TRSinglePolygon::initWithShapeJSON(
      Json{{"type", "Polygon"}, {"coordinates", Json::array({Json::parse(ring)})}});
}

const char* const kUnitSquare = "[[0,0],[1,0],[1,1],[0,1],[0,0]]";
const char* const kUnclosedUnitSquare = "[[0,0],[1,0],[1,1],[0,1]]";
const char* const kAcrossTheAntimeridian = "[[179,-1],[-179,-1],[-179,1],[179,1],[179,-1]]";

// --- TRLocation ------------------------------------------------------------------------------

TEST(TRLocationTest, ScalesXAndYByTheEquatorialAndZByThePolarRadius) {
  const TRLocation origin = at(0.0, 0.0);
  EXPECT_DOUBLE_EQ(origin.x(), 6378137.0);
  EXPECT_NEAR(origin.y(), 0.0, 1e-9);
  EXPECT_NEAR(origin.z(), 0.0, 1e-9);

  const TRLocation east = at(0.0, 90.0);
  EXPECT_NEAR(east.x(), 0.0, 1e-6);
  EXPECT_DOUBLE_EQ(east.y(), 6378137.0);
  EXPECT_DOUBLE_EQ(east.lngRadians(), std::numbers::pi / 2);

  const TRLocation pole = at(90.0, 0.0);
  EXPECT_DOUBLE_EQ(pole.z(), 6356752.314245);
  EXPECT_NEAR(pole.x(), 0.0, 1e-6);
  EXPECT_DOUBLE_EQ(pole.latRadians(), std::numbers::pi / 2);
}

struct CoordinateCase {
  const char* name;
  Coordinate coordinate;
};

class TRLocationInverseTest : public ::testing::TestWithParam<CoordinateCase> {};

TEST_P(TRLocationInverseTest, TheEarthCentredPointLeadsBackToTheCoordinate) {
  const Coordinate coordinate = GetParam().coordinate;
  const TRLocation forward = at(coordinate.latitude, coordinate.longitude);

  const TRLocation back =
      TRLocation::initWithX(forward.x(), forward.y(), forward.z(), Date(7.5), 12.0, 90.0, 1.5, 8.0);

  EXPECT_NEAR(back.location().coordinate().latitude, coordinate.latitude, 1e-9);
  EXPECT_NEAR(back.location().coordinate().longitude, coordinate.longitude, 1e-9);
  EXPECT_EQ(back.x(), forward.x());
  EXPECT_EQ(back.z(), forward.z());
  EXPECT_EQ(back.latRadians(), 0.0) << "nothing is recomputed on this path";
  EXPECT_EQ(back.lngRadians(), 0.0);
  EXPECT_EQ(back.location().timestamp(), Date(7.5));
  EXPECT_EQ(back.location().altitude(), 12.0);
  EXPECT_EQ(back.location().course(), 90.0);
  EXPECT_EQ(back.location().speed(), 1.5);
  EXPECT_EQ(back.location().horizontalAccuracy(), 8.0);
  EXPECT_EQ(back.location().verticalAccuracy(), 10.0);
}

INSTANTIATE_TEST_SUITE_P(AroundTheGlobe, TRLocationInverseTest,
                         ::testing::Values(CoordinateCase{"Paris", {48.85, 2.35}},
                                           CoordinateCase{"Sydney", {-33.87, 151.21}},
                                           CoordinateCase{"NearTheAntimeridian", {0.0, -179.9}},
                                           CoordinateCase{"NearTheNorthPole", {89.9, 10.0}},
                                           CoordinateCase{"NearTheSouthPole", {-89.99, -45.0}},
                                           CoordinateCase{"Origin", {0.0, 0.0}}),
                         CaseName());

TEST(TRLocationTest, APointBeyondThePoleReadsAsThePole) {
  const TRLocation beyond =
      TRLocation::initWithX(0.0, 0.0, 6356752.314245 * (1 + 1e-12), Date(0.0), 0, 0, 0, 0);
  EXPECT_EQ(beyond.location().coordinate().latitude, 90.0);
}

TEST(TRLocationTest, ANewFixRecomputesThePosition) {
  TRLocation location = at(0.0, 0.0);
  location.setLocation(Location({0.0, 90.0}, 0, 5, -1, -1, -1, Date(0.0)));
  EXPECT_DOUBLE_EQ(location.y(), 6378137.0);
}

TEST(TRLocationTest, ArchivesOnlyTheFixAndRecomputesOnReading) {
  auto original = std::make_shared<TRLocation>(at(48.85, 2.35));
  original->setIsVenueCoordinate(true);

  const auto restored = archiveRoundTrip(original);

  EXPECT_EQ(restored->location(), original->location());
  EXPECT_EQ(restored->x(), original->x());
  EXPECT_EQ(restored->latRadians(), original->latRadians());
  EXPECT_FALSE(restored->isVenueCoordinate());
  EXPECT_THAT(archivedKeys(original, "TRLocation"), ElementsAre("location"));
}

// Claims to be a TRLocation but writes nothing.
struct HollowLocation final : platform::Archivable {
  std::string archiveClassName() const override { return TRLocation::kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver&) const override {}
};

TEST(TRLocationTest, AnArchiveWithoutTheFixIsDamaged) {
  const auto data =
      platform::KeyedArchiver::archivedDataWithRootObject(std::make_shared<HollowLocation>());
  EXPECT_THROW(platform::KeyedUnarchiver::unarchiveObjectOfClass<TRLocation>(data),
               platform::ArchiveError);
}

// --- Polygon containment ---------------------------------------------------------------------

struct ContainmentCase {
  const char* name;
  const char* ring;
  double latitude;
  double longitude;
  bool inside;
};

class TRSinglePolygonContainmentTest : public ::testing::TestWithParam<ContainmentCase> {};

TEST_P(TRSinglePolygonContainmentTest, CountsCrossingsAlongTheMeridian) {
  const auto& c = GetParam();
  EXPECT_EQ(polygon(c.ring)->containsLocation(at(c.latitude, c.longitude)), c.inside);
}

INSTANTIATE_TEST_SUITE_P(
    Rings, TRSinglePolygonContainmentTest,
    ::testing::Values(
        ContainmentCase{"SquareCentre", kUnitSquare, 0.5, 0.5, true},
        ContainmentCase{"SquareEastOfIt", kUnitSquare, 0.5, 1.5, false},
        ContainmentCase{"SquareNorthOfIt", kUnitSquare, 1.5, 0.5, false},
        ContainmentCase{"SquareSouthOfIt", kUnitSquare, -0.5, 0.5, false},
        ContainmentCase{"SquareWestEdge", kUnitSquare, 0.5, 0.0, false},
        ContainmentCase{"SquareEastEdge", kUnitSquare, 0.5, 1.0, true},
        ContainmentCase{"UnclosedSquareCentre", kUnclosedUnitSquare, 0.5, 0.5, true},
        ContainmentCase{"UnclosedSquareOutside", kUnclosedUnitSquare, 0.5, -0.5, false},
        ContainmentCase{"AntimeridianEastSide", kAcrossTheAntimeridian, 0.0, 179.5, true},
        ContainmentCase{"AntimeridianWestSide", kAcrossTheAntimeridian, 0.0, -179.5, true},
        ContainmentCase{"AntimeridianBeyondEast", kAcrossTheAntimeridian, 0.0, 178.0, false},
        ContainmentCase{"AntimeridianBeyondWest", kAcrossTheAntimeridian, 0.0, -178.0, false},
        ContainmentCase{"AntimeridianNorthOfIt", kAcrossTheAntimeridian, 2.0, 179.5, false},
        ContainmentCase{"Concave", "[[0,0],[4,0],[4,4],[2,1],[0,4],[0,0]]", 2.0, 2.0, false},
        ContainmentCase{"ConcaveArm", "[[0,0],[4,0],[4,4],[2,1],[0,4],[0,0]]", 2.0, 0.5, true},
        ContainmentCase{"NoVertices", "[]", 0.0, 0.0, false}),
    CaseName());

TEST(TRSinglePolygonContainmentTest, HugeLongitudesEndInsteadOfLoopingForever) {
  const auto shape = polygon("[[-1e300,0],[1e300,1],[0,1],[-1e300,0]]");
  EXPECT_NO_THROW(shape->containsLocation(at(0.5, 10.0)));
  EXPECT_NO_THROW(shape->containsLocation(at(0.5, -10.0)));
}

// --- Polygon distance ------------------------------------------------------------------------

struct DistanceCase {
  const char* name;
  const char* ring;
  double latitude;
  double longitude;
  double expected;
  double tolerance;
};

class TRSinglePolygonDistanceTest : public ::testing::TestWithParam<DistanceCase> {};

TEST_P(TRSinglePolygonDistanceTest, IsSignedByContainmentAndCappedAt1000Metres) {
  const auto& c = GetParam();
  EXPECT_THAT(polygon(c.ring)->distanceTo(at(c.latitude, c.longitude)),
              DoubleNear(c.expected, c.tolerance));
}

INSTANTIATE_TEST_SUITE_P(
    Rings, TRSinglePolygonDistanceTest,
    ::testing::Values(
        DistanceCase{"DeepInside", kUnitSquare, 0.9, 0.5, -1000.0, 0.0},
        DistanceCase{"JustInside", kUnitSquare, k50Metres, 0.5, -50.0, 0.1},
        DistanceCase{"SouthOfTheSouthEdge", kUnitSquare, -k50Metres, 0.5, 50.0, 0.1},
        DistanceCase{"FarOutside", kUnitSquare, 3.0, 3.0, 1000.0, 0.0},
        DistanceCase{"BeyondACorner", kUnitSquare, -k50Metres, -k50MetresEast, 70.7, 0.1},
        DistanceCase{"BesideTheClosingEdge", kUnclosedUnitSquare, 0.5, -k50MetresEast, 50.0, 0.1},
        DistanceCase{"NoVertices", "[]", 0.0, 0.0, 1000.0, 0.0},
        DistanceCase{"LoneVertexIsNotCapped", "[[0,0]]", 0.0, 0.1, 11131.9, 0.1}),
    CaseName());

TEST(TRSinglePolygonDistanceTest, ASegmentMeasuresFromItsNearestPoint) {
  const Coordinate start{0.0, 0.0};
  const Coordinate end{0.0, 0.01};
  const auto distance = [&](double latitude, double longitude) {
    return TRSinglePolygon::distanceToLineSegmentWithStart(start, end, at(latitude, longitude));
  };
  const Location startFix({0.0, 0.0}, 0, 0, -1, -1, -1, Date(0.0));
  const Location endFix({0.0, 0.01}, 0, 0, -1, -1, -1, Date(0.0));

  EXPECT_NEAR(distance(k50Metres, 0.005), 50.0, 0.1) << "beside the middle";
  EXPECT_DOUBLE_EQ(distance(k50Metres, -0.001),
                   startFix.distanceFromLocation(at(k50Metres, -0.001).location()))
      << "before the start";
  EXPECT_DOUBLE_EQ(distance(k50Metres, 0.011),
                   endFix.distanceFromLocation(at(k50Metres, 0.011).location()))
      << "past the end";
  EXPECT_DOUBLE_EQ(TRSinglePolygon::distanceToLineSegmentWithStart(start, start, at(0.0, 0.001)),
                   startFix.distanceFromLocation(at(0.0, 0.001).location()))
      << "a segment of no length is its start";
}

// --- Points and multi-polygons ---------------------------------------------------------------

TEST(TRPointTest, ContainsNothingAndMeasuresToItsPosition) {
  const auto point = TRPoint::initWithShapeJSON(
      Json::parse(R"({"type": "Point", "coordinates": [[2.35, 48.85]]})"));
  const auto bare =
      TRPoint::initWithShapeJSON(Json::parse(R"({"type": "Point", "coordinates": [2.35, 48.85]})"));
  const TRLocation nearby = at(48.851, 2.35);
  const double expected =
      Location({48.85, 2.35}, 0, 0, -1, -1, -1, Date(0.0)).distanceFromLocation(nearby.location());

  EXPECT_FALSE(point->containsLocation(at(48.85, 2.35)));
  EXPECT_DOUBLE_EQ(point->distanceTo(nearby), expected);
  EXPECT_DOUBLE_EQ(bare->distanceTo(nearby), expected);
  EXPECT_EQ(point->coordinates(), Json::parse("[[2.35, 48.85]]")) << "kept as given";
  EXPECT_EQ(point->type(), "Point");
}

TEST(TRPointTest, WithoutAUsablePositionItIsAsFarAsAnEmptyShape) {
  for (const char* coordinates : {"[]", "[[\"a\", 1]]", "[[1]]", "null", "{\"x\": 1}"}) {
    const auto point = TRPoint::initWithShapeJSON(
        Json{{"type", "Point"}, {"coordinates", Json::parse(coordinates)}});
    EXPECT_EQ(point->distanceTo(at(0.0, 0.0)), 1000.0) << coordinates;
  }
}

TEST(TRMultiPolygonTest, WithNoPolygonsItContainsNothingAndIsAsFarAsCanBe) {
  const auto empty = TRMultiPolygon::initWithShapeJSON(
      Json::parse(R"({"type": "MultiPolygon", "coordinates": []})"));
  EXPECT_FALSE(empty->containsLocation(at(0.0, 0.0)));
  EXPECT_EQ(empty->distanceTo(at(0.0, 0.0)), 1000.0);
  EXPECT_EQ(TRMultiPolygon().distanceTo(at(0.0, 0.0)), 1000.0);
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
  EXPECT_EQ(multi->coordinates()[1]->type(), "Polygon");
  EXPECT_EQ(multi->coordinates()[1]->vertices().size(), 5u);
  EXPECT_TRUE(multi->containsLocation(at(0.5, 0.5)));
  EXPECT_TRUE(multi->containsLocation(at(0.5, 2.5)));
  EXPECT_FALSE(multi->containsLocation(at(0.5, 1.5)));
  EXPECT_NEAR(multi->distanceTo(at(0.5, 2.0 - k50MetresEast)), 50.0, 0.1);
  EXPECT_NEAR(multi->distanceTo(at(k50Metres, 2.5)), -50.0, 0.1) << "inside wins";
  EXPECT_EQ(multi->distanceTo(at(0.5, 0.5)), -1000.0);
}

// --- The abstract shape ----------------------------------------------------------------------

// A shape that overrides none of the operations.
struct LazyShape final : TRGeometryShape {
  std::string archiveClassName() const override { return "LazyShape"; }
  void encodeWithCoder(platform::KeyedArchiver&) const override {}
  void read(const Json& json) { readShapeJson(json); }
};

TEST(TRGeometryShapeTest, TheBaseOperationsDemandAnOverride) {
  LazyShape shape;
  const auto expectOverride = [](auto&& call, const std::string& operation) {
    try {
      call();
      ADD_FAILURE() << operation << " did not raise";
    } catch (const Exception& exception) {
      EXPECT_EQ(exception.name(), Exception::kInternalInconsistency);
      EXPECT_EQ(exception.reason(), "You must override " + operation + " in a subclass");
    }
  };
  expectOverride([&] { shape.containsLocation(at(0, 0)); }, "containsLocation:");
  expectOverride([&] { shape.distanceTo(at(0, 0)); }, "distanceTo:");
  expectOverride([&] { shape.read(Json::object()); }, "parseCoordinates:");
}

// --- TRGeometry ------------------------------------------------------------------------------

struct ShapeTypeCase {
  const char* name;
  Json type;
  const char* shapeClass;  // nullptr: no shape
};

class TRGeometryShapeTypeTest : public ::testing::TestWithParam<ShapeTypeCase> {};

TEST_P(TRGeometryShapeTypeTest, TheGeometryMapsTypePicksTheShape) {
  const auto& c = GetParam();
  Json geometryMap = {{"coordinates", Json::parse("[[[0,0],[1,0],[1,1],[0,0]]]")}};
  if (!c.type.is_null()) geometryMap["type"] = c.type;

  const auto geometry =
      TRGeometry::initWithDictionary(Json{{"id", "g"}, {"geometry", geometryMap}});

  EXPECT_EQ(geometry->geometry, geometryMap) << "the raw map is kept whatever its type";
  if (c.shapeClass) {
    ASSERT_NE(geometry->geometryShape, nullptr);
    EXPECT_EQ(geometry->geometryShape->archiveClassName(), c.shapeClass);
  } else {
    EXPECT_EQ(geometry->geometryShape, nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Types, TRGeometryShapeTypeTest,
                         ::testing::Values(ShapeTypeCase{"Polygon", "Polygon", "TRSinglePolygon"},
                                           ShapeTypeCase{"MultiPolygon", "MultiPolygon",
                                                         "TRMultiPolygon"},
                                           ShapeTypeCase{"Point", "Point", "TRPoint"},
                                           ShapeTypeCase{"LineString", "LineString", nullptr},
                                           ShapeTypeCase{"LowerCase", "polygon", nullptr},
                                           ShapeTypeCase{"Number", 3, nullptr},
                                           ShapeTypeCase{"Missing", Json(), nullptr}),
                         CaseName());

TEST(TRGeometryTest, NoMapGivesEveryFieldEmptyFalseOrZero) {
  for (const Json& value : {Json(), Json::array(), Json("g"), Json::object()}) {
    const auto geometry = TRGeometry::initWithDictionary(value);
    EXPECT_EQ(snapshot(geometry), snapshot(std::make_shared<TRGeometry>())) << value.dump();
  }
  EXPECT_EQ(snapshot(TRGeometry::initWithDictionary(nullptr)),
            snapshot(std::make_shared<TRGeometry>()));
}

TEST(TRGeometryTest, ReadsItsFieldsByTheLenientRules) {
  const auto geometry = TRGeometry::initWithDictionary(Json::parse(R"({
      "id": "g-1", "class": "building", "type": "Feature", "inside": 1, "dist": 12.9,
      "geometry": "not a map"})"));
  EXPECT_EQ(geometry->geometryId, "g-1");
  EXPECT_EQ(geometry->geometryClass, "building");
  EXPECT_EQ(geometry->type, "Feature");
  EXPECT_TRUE(geometry->inside);
  EXPECT_EQ(geometry->dist, 12u);
  EXPECT_EQ(geometry->geometry, std::nullopt);
  EXPECT_EQ(TRGeometry::initWithDictionary(Json{{"dist", -3}})->dist, 0u)
      << "a negative distance does not wrap round";
}

struct GeometryCase {
  const char* name;
  const char* json;
};

class TRGeometryArchiveTest : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(TRGeometryArchiveTest, ARoundTripKeepsTheShapeAndItsKind) {
  const auto geometry = TRGeometry::initWithDictionary(Json::parse(GetParam().json));

  const auto restored = archiveRoundTrip(geometry);

  EXPECT_EQ(snapshot(restored), snapshot(geometry));
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, TRGeometryArchiveTest,
    ::testing::Values(
        GeometryCase{"Polygon", R"({"id": "p", "inside": true, "dist": 9007199254740993,
            "geometry": {"type": "Polygon", "coordinates": [[[0,0],[1,0],[1,1],[0,0]]]}})"},
        GeometryCase{"MultiPolygon", R"({"id": "m", "geometry": {"type": "MultiPolygon",
            "coordinates": [[[0,0],[1,0],[1,1],[0,0]], [], [[5,5],[6,5],[6,6],[5,5]]]}})"},
        GeometryCase{"Point", R"({"id": "pt", "geometry": {"type": "Point",
            "coordinates": [[2.35, 48.85]]}})"},
        GeometryCase{"PointWithoutCoordinates", R"({"id": "pt", "geometry": {"type": "Point"}})"},
        GeometryCase{"NoShape", R"({"id": "line", "geometry": {"type": "LineString",
            "coordinates": [[0,0],[1,1]]}})"},
        GeometryCase{"Empty", R"({})"}),
    CaseName());

TEST(TRGeometryArchiveTest, ARestoredPolygonStillAnswers) {
  const auto geometry = TRGeometry::initWithDictionary(Json::parse(
      R"({"geometry": {"type": "Polygon", "coordinates": [[[0,0],[1,0],[1,1],[0,1],[0,0]]]}})"));
  const auto restored = archiveRoundTrip(geometry);
  ASSERT_NE(restored->geometryShape, nullptr);
  EXPECT_TRUE(restored->geometryShape->containsLocation(at(0.5, 0.5)));
  EXPECT_NEAR(restored->geometryShape->distanceTo(at(-k50Metres, 0.5)), 50.0, 0.1);
}

}  // namespace
}  // namespace trevalo
