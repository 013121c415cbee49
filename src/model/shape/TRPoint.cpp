#include "trevalo/model/shape/TRPoint.h"

#include "json/ParserUtils.h"
#include "model/shape/ShapePositions.h"
#include "model/shape/TRLocation.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "trevalo/model/shape/TRSinglePolygon.h"

namespace trevalo {

TRPoint::TRPoint(std::optional<std::string> type, Json coordinates)
    : TRGeometryShape(std::move(type)) {
  setCoordinates(std::move(coordinates));
}

std::shared_ptr<TRPoint> TRPoint::initWithShapeJSON(const Json& shapeJson) {
  auto point = std::make_shared<TRPoint>();
  point->readShapeJson(shapeJson);
  return point;
}

void TRPoint::parseCoordinates(const Json& shapeJson) {
  const Json* list = ParserUtils::array(shapeJson, "coordinates");
  setCoordinates(list ? *list : Json());
}

void TRPoint::setCoordinates(Json coordinates) {
  coordinates_ = std::move(coordinates);
  position_.reset();
  if (!coordinates_.is_array() || coordinates_.empty()) return;
  const Json& first = coordinates_.front();
  position_ = shape_detail::positionOf(first.is_array() ? first : coordinates_);
}

std::shared_ptr<TRPoint> TRPoint::initWithCoder(platform::KeyedUnarchiver& coder) {
  auto coordinates = coder.decodeJson("self.coordinates");
  return std::make_shared<TRPoint>(coder.decodeString("self.type"),
                                   coordinates ? std::move(*coordinates) : Json());
}

void TRPoint::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeString(type(), "self.type");
  if (coordinates_.is_null())
    coder.encodeObject(nullptr, "self.coordinates");
  else
    coder.encodeJson(coordinates_, "self.coordinates");
}

bool TRPoint::containsLocation(const TRLocation&) const {
  return false;
}

double TRPoint::distanceTo(const TRLocation& location) const {
  if (!position_) return TRSinglePolygon::kMaximumDistance;
  const Location& fix = location.location();
  return shape_detail::fixAt(*position_, fix).distanceFromLocation(fix);
}

}  // namespace trevalo
