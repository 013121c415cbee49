#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/model/shape/TRGeometryShape.h"
#include "trevalo/platform/Coordinate.h"

namespace trevalo::platform {
class KeyedUnarchiver;
}

namespace trevalo {

// One ring of vertices. It may repeat its first vertex at the end; both forms work.
class TRSinglePolygon final : public TRGeometryShape {
 public:
  static constexpr const char* kArchiveClassName = "TRSinglePolygon";
  // No distance is ever reported beyond this many metres.
  static constexpr double kMaximumDistance = 1000.0;

  TRSinglePolygon() = default;
  TRSinglePolygon(std::optional<std::string> type, std::vector<Coordinate> vertices);

  // "coordinates" is a list of rings; the first (outer) ring is kept and holes are ignored. A
  // bare ring (a list of positions) is accepted too.
  static std::shared_ptr<TRSinglePolygon> initWithShapeJSON(const Json& shapeJson);

  static std::shared_ptr<TRSinglePolygon> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;

  const std::vector<Coordinate>& vertices() const noexcept { return vertices_; }
  // The ring in the service's layout, [[lng, lat], ...].
  Json coordinates() const;

  // Crossing parity along the point's meridian, with edges that cross the 180° meridian
  // unwrapped. Points on the west and south edges are outside, on the east and north edges
  // inside.
  bool containsLocation(const TRLocation& location) const override;
  // The distance to the nearest edge (the closing edge included), negative inside, at most
  // kMaximumDistance in magnitude; kMaximumDistance without vertices; the geodesic distance to
  // a lone vertex.
  double distanceTo(const TRLocation& location) const override;

  // The distance from `location` to the chord from `start` to `endPoint`, measured from the
  // chord point nearest to it in the Earth-centred frame of TRLocation, in metres.
  static double distanceToLineSegmentWithStart(Coordinate start, Coordinate endPoint,
                                               const TRLocation& location);

  // The usable vertices of a ring ([[lng, lat], ...]); anything else reads as no vertices.
  static std::vector<Coordinate> verticesOfRing(const Json& ring);

 protected:
  void parseCoordinates(const Json& shapeJson) override;

 private:
  // The edges laid out for the containment scan: the longitudes of both ends, the latitude of
  // the start and the slope, one array each, so the scan streams through memory without
  // branches. Edges that span more than 180° of longitude depend on the point's side of the
  // antimeridian and are kept apart.
  struct EdgeIndex {
    std::vector<double> startLongitude;
    std::vector<double> endLongitude;
    std::vector<double> startLatitude;
    std::vector<double> slope;
    std::vector<std::pair<Coordinate, Coordinate>> wrapping;
  };

  void setVertices(std::vector<Coordinate> vertices);

  std::vector<Coordinate> vertices_;
  EdgeIndex edges_;
};

}  // namespace trevalo
