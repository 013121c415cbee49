#include "trevalo/model/shape/TRGeometryShape.h"

#include "model/ModelValues.h"
#include "platform/ArchiveRegistry.h"
#include "trevalo/model/shape/TRMultiPolygon.h"
#include "trevalo/model/shape/TRPoint.h"
#include "trevalo/model/shape/TRSinglePolygon.h"
#include "trevalo/platform/Exception.h"

namespace trevalo {

namespace {

[[noreturn]] void mustOverride(const char* operation) {
  throw Exception(Exception::kInternalInconsistency,
                  std::string("You must override ") + operation + " in a subclass");
}

}  // namespace

void TRGeometryShape::registerArchivableSubclasses() {
  auto& registry = platform::ArchiveRegistry::shared();
  registry.registerClass<TRPoint>();
  registry.registerClass<TRSinglePolygon>();
  registry.registerClass<TRMultiPolygon>();
}

bool TRGeometryShape::containsLocation(const TRLocation&) const {
  mustOverride("containsLocation:");
}

double TRGeometryShape::distanceTo(const TRLocation&) const {
  mustOverride("distanceTo:");
}

void TRGeometryShape::parseCoordinates(const Json&) {
  mustOverride("parseCoordinates:");
}

void TRGeometryShape::readShapeJson(const Json& shapeJson) {
  type_ = model_detail::stringMember(&shapeJson, "type");
  parseCoordinates(shapeJson);
}

}  // namespace trevalo
