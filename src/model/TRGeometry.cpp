#include "trevalo/model/TRGeometry.h"

#include "json/ParserUtils.h"
#include "model/ModelValues.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "trevalo/model/shape/TRMultiPolygon.h"
#include "trevalo/model/shape/TRPoint.h"
#include "trevalo/model/shape/TRSinglePolygon.h"

namespace trevalo {

namespace {

std::shared_ptr<TRGeometryShape> shapeOf(const Json& geometry) {
  const auto type = model_detail::stringMember(&geometry, "type");
  if (!type) return nullptr;
  if (*type == "Polygon") return TRSinglePolygon::initWithShapeJSON(geometry);
  if (*type == "MultiPolygon") return TRMultiPolygon::initWithShapeJSON(geometry);
  if (*type == "Point") return TRPoint::initWithShapeJSON(geometry);
  return nullptr;
}

}  // namespace

std::shared_ptr<TRGeometry> TRGeometry::initWithDictionary(const Json* dictionary) {
  auto result = std::make_shared<TRGeometry>();
  result->geometryId = model_detail::stringMember(dictionary, "id");
  result->geometryClass = model_detail::stringMember(dictionary, "class");
  result->type = model_detail::stringMember(dictionary, "type");
  if (const Json* geometry = ParserUtils::map(dictionary, "geometry")) {
    result->geometry = *geometry;
    result->geometryShape = shapeOf(*geometry);
  }
  result->inside = ParserUtils::boolValueForKey(dictionary, "inside");
  result->dist = model_detail::countMember(dictionary, "dist");
  return result;
}

std::shared_ptr<TRGeometry> TRGeometry::initWithCoder(platform::KeyedUnarchiver& coder) {
  auto result = std::make_shared<TRGeometry>();
  result->geometryId = coder.decodeString("self.geometryId");
  result->geometryClass = coder.decodeString("self.geometryClass");
  result->type = coder.decodeString("self.type");
  result->geometry = coder.decodeJson("self.geometry");
  result->geometryShape = coder.decodeObjectOfClass<TRGeometryShape>("self.geometryShape");
  result->inside = coder.decodeBool("self.inside");
  result->dist = model_detail::countFromArchive(coder.decodeInt64("self.dist"));
  return result;
}

void TRGeometry::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeString(geometryId, "self.geometryId");
  coder.encodeString(geometryClass, "self.geometryClass");
  coder.encodeString(type, "self.type");
  if (geometry)
    coder.encodeJson(*geometry, "self.geometry");
  else
    coder.encodeObject(nullptr, "self.geometry");
  coder.encodeObject(geometryShape, "self.geometryShape");
  coder.encodeBool(inside, "self.inside");
  coder.encodeInt64(model_detail::archivedCount(dist), "self.dist");
}

}  // namespace trevalo
