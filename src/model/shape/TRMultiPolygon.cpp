#include "trevalo/model/shape/TRMultiPolygon.h"

#include "json/ParserUtils.h"
#include "model/shape/ShapePositions.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace trevalo {

namespace {
constexpr const char* kPolygonType = "Polygon";
}

TRMultiPolygon::TRMultiPolygon(std::optional<std::string> type,
                               std::vector<std::shared_ptr<TRSinglePolygon>> polygons)
    : TRGeometryShape(std::move(type)), polygons_(std::move(polygons)) {
  // Holders may put null entries in; they contain nothing and are never measured.
  std::erase(polygons_, nullptr);
}

std::shared_ptr<TRMultiPolygon> TRMultiPolygon::initWithShapeJSON(const Json& shapeJson) {
  auto multiPolygon = std::make_shared<TRMultiPolygon>();
  multiPolygon->readShapeJson(shapeJson);
  return multiPolygon;
}

void TRMultiPolygon::parseCoordinates(const Json& shapeJson) {
  polygons_.clear();
  const Json* list = ParserUtils::array(shapeJson, "coordinates");
  if (!list) return;
  polygons_.reserve(list->size());
  for (const Json& element : *list) {
    const Json* ring = shape_detail::ringOf(element);
    polygons_.push_back(std::make_shared<TRSinglePolygon>(
        kPolygonType, ring ? TRSinglePolygon::verticesOfRing(*ring) : std::vector<Coordinate>()));
  }
}

std::shared_ptr<TRMultiPolygon> TRMultiPolygon::initWithCoder(platform::KeyedUnarchiver& coder) {
  auto polygons = coder.decodeArrayOfObjectsOfClass<TRSinglePolygon>("self.coordinates");
  return std::make_shared<TRMultiPolygon>(
      coder.decodeString("self.type"),
      polygons ? std::move(*polygons) : std::vector<std::shared_ptr<TRSinglePolygon>>());
}

void TRMultiPolygon::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeString(type(), "self.type");
  coder.encodeObjects(polygons_, "self.coordinates");
}

bool TRMultiPolygon::containsLocation(const TRLocation& location) const {
  for (const auto& polygon : polygons_) {
    if (polygon->containsLocation(location)) return true;
  }
  return false;
}

double TRMultiPolygon::distanceTo(const TRLocation& location) const {
  double nearest = TRSinglePolygon::kMaximumDistance;
  for (const auto& polygon : polygons_) {
    const double distance = polygon->distanceTo(location);
    if (distance < nearest) nearest = distance;
  }
  return nearest;
}

}  // namespace trevalo
