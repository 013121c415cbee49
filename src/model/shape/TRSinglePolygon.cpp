#include "trevalo/model/shape/TRSinglePolygon.h"

#include <cmath>
#include <cstdint>

#include "json/ParserUtils.h"
#include "model/shape/ShapePositions.h"
#include "model/shape/TRLocation.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace trevalo {

namespace {

// The longitude moved by whole turns to the first value at or above 0 (or at or below 0).
// Computed in one step: adding 360 in a loop would never finish for a huge longitude.
double unwrappedEast(double longitude) {
  if (longitude >= 0.0) return longitude;
  return longitude + 360.0 * std::ceil(-longitude / 360.0);
}

double unwrappedWest(double longitude) {
  if (longitude <= 0.0) return longitude;
  return longitude - 360.0 * std::ceil(longitude / 360.0);
}

struct Vector3 {
  double x;
  double y;
  double z;
};

Vector3 difference(const TRLocation& to, const TRLocation& from) {
  return {to.x() - from.x(), to.y() - from.y(), to.z() - from.z()};
}

double dot(const Vector3& a, const Vector3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

}  // namespace

TRSinglePolygon::TRSinglePolygon(std::optional<std::string> type, std::vector<Coordinate> vertices)
    : TRGeometryShape(std::move(type)) {
  setVertices(std::move(vertices));
}

void TRSinglePolygon::setVertices(std::vector<Coordinate> vertices) {
  vertices_ = std::move(vertices);
  edges_ = EdgeIndex();
  if (vertices_.empty()) return;
  const std::size_t count = vertices_.size();
  edges_.startLongitude.reserve(count);
  edges_.endLongitude.reserve(count);
  edges_.startLatitude.reserve(count);
  edges_.slope.reserve(count);
  // The first edge runs from the last vertex to the first: the ring closes itself.
  Coordinate previous = vertices_.back();
  for (const Coordinate& current : vertices_) {
    const double delta = current.longitude - previous.longitude;
    if (std::fabs(delta) > 180.0) {
      edges_.wrapping.emplace_back(previous, current);
    } else {
      edges_.startLongitude.push_back(previous.longitude);
      edges_.endLongitude.push_back(current.longitude);
      edges_.startLatitude.push_back(previous.latitude);
      // An edge along a meridian is never crossed by the meridian scan, so its slope is unused.
      edges_.slope.push_back(delta != 0.0 ? (current.latitude - previous.latitude) / delta : 0.0);
    }
    previous = current;
  }
}

std::shared_ptr<TRSinglePolygon> TRSinglePolygon::initWithShapeJSON(const Json& shapeJson) {
  auto polygon = std::make_shared<TRSinglePolygon>();
  polygon->readShapeJson(shapeJson);
  return polygon;
}

void TRSinglePolygon::parseCoordinates(const Json& shapeJson) {
  const Json* rings = ParserUtils::array(shapeJson, "coordinates");
  const Json* ring = rings ? shape_detail::ringOf(*rings) : nullptr;
  setVertices(ring ? verticesOfRing(*ring) : std::vector<Coordinate>());
}

std::vector<Coordinate> TRSinglePolygon::verticesOfRing(const Json& ring) {
  std::vector<Coordinate> vertices;
  if (!ring.is_array()) return vertices;
  vertices.reserve(ring.size());
  for (const Json& position : ring) {
    if (const auto vertex = shape_detail::positionOf(position)) vertices.push_back(*vertex);
  }
  return vertices;
}

Json TRSinglePolygon::coordinates() const {
  Json ring = Json::array();
  for (const Coordinate& vertex : vertices_)
    ring.push_back(Json::array({vertex.longitude, vertex.latitude}));
  return ring;
}

std::shared_ptr<TRSinglePolygon> TRSinglePolygon::initWithCoder(platform::KeyedUnarchiver& coder) {
  const auto ring = coder.decodeJson("self.coordinates");
  return std::make_shared<TRSinglePolygon>(
      coder.decodeString("self.type"), ring ? verticesOfRing(*ring) : std::vector<Coordinate>());
}

void TRSinglePolygon::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeString(type(), "self.type");
  coder.encodeJson(coordinates(), "self.coordinates");
}

bool TRSinglePolygon::containsLocation(const TRLocation& location) const {
  const Coordinate point = location.location().coordinate();
  const double p = point.longitude;
  // Parity of the crossings north of the point along its meridian; the order in which edges
  // are counted does not matter. Every edge is evaluated (cheaply) and the ones that do not
  // span the meridian are masked out: the loop has no branches, and the compiler turns it into
  // vector instructions. The count is kept in a double (exact far beyond any ring size)
  // because that is what lets it vectorise alongside the double comparisons.
  double spanned = 0.0;
  const std::size_t count = edges_.slope.size();
  const double* const a = edges_.startLongitude.data();
  const double* const b = edges_.endLongitude.data();
  const double* const latitude = edges_.startLatitude.data();
  const double* const slope = edges_.slope.data();
  const double pointLatitude = point.latitude;
  for (std::size_t i = 0; i < count; ++i) {
    const double start = a[i];
    const double end = b[i];
    const double crossing = (p - start) * slope[i] + latitude[i];
    const bool spans = ((start <= p) & (p < end)) | ((end < p) & (p <= start));
    spanned += (spans & (crossing > pointLatitude)) ? 1.0 : 0.0;
  }
  auto crossings = static_cast<std::uint64_t>(spanned);

  for (const auto& [previous, current] : edges_.wrapping) {
    // An edge spanning more than half the globe is the short way across the 180° meridian:
    // move both ends onto the side of the meridian the point is on.
    double start = previous.longitude;
    double end = current.longitude;
    if (p > 0.0) {
      start = unwrappedEast(start);
      end = unwrappedEast(end);
    } else {
      start = unwrappedWest(start);
      end = unwrappedWest(end);
    }
    const double delta = end - start;
    if ((start <= p && p < end) || (end < p && p <= start)) {
      const double crossing =
          (p - start) * ((current.latitude - previous.latitude) / delta) + previous.latitude;
      if (crossing > point.latitude) ++crossings;
    }
  }
  return (crossings & 1U) != 0;
}

double TRSinglePolygon::distanceTo(const TRLocation& location) const {
  if (vertices_.empty()) return kMaximumDistance;
  const Location& fix = location.location();
  if (vertices_.size() == 1)
    return shape_detail::fixAt(vertices_.front(), fix).distanceFromLocation(fix);

  const bool inside = containsLocation(location);
  double nearest = kMaximumDistance;
  const auto measure = [&](Coordinate start, Coordinate end) {
    const double distance = distanceToLineSegmentWithStart(start, end, location);
    if (distance < nearest) nearest = distance;
  };
  for (std::size_t i = 1; i < vertices_.size(); ++i)
    measure(vertices_[i - 1], vertices_[i]);
  // Containment closes the ring implicitly, so the distance must too: otherwise a point just
  // beyond the closing edge of a ring that does not repeat its first vertex would be measured
  // to the far edges. A ring that does repeat it gains only a zero-length edge.
  if (vertices_.front() != vertices_.back()) measure(vertices_.back(), vertices_.front());
  return inside ? -nearest : nearest;
}

double TRSinglePolygon::distanceToLineSegmentWithStart(Coordinate start, Coordinate endPoint,
                                                       const TRLocation& location) {
  const Location& fix = location.location();
  const TRLocation a(shape_detail::fixAt(start, fix));
  const TRLocation b(shape_detail::fixAt(endPoint, fix));
  const Vector3 ab = difference(b, a);
  const Vector3 ap = difference(location, a);
  const double t = dot(ap, ab);
  const double squaredLength = dot(ab, ab);
  if (t <= 0.0) return a.distanceFromLocation(fix);
  if (t >= squaredLength) return b.distanceFromLocation(fix);
  const double ratio = t / squaredLength;
  const TRLocation nearest = TRLocation::initWithX(
      a.x() + ab.x * ratio, a.y() + ab.y * ratio, a.z() + ab.z * ratio, fix.timestamp(),
      fix.altitude(), fix.course(), fix.speed(), fix.horizontalAccuracy());
  return nearest.distanceFromLocation(fix);
}

}  // namespace trevalo
