#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "trevalo/Json.h"
#include "trevalo/model/shape/TRGeometryShape.h"
#include "trevalo/platform/Archivable.h"

namespace trevalo::platform {
class KeyedUnarchiver;
}

namespace trevalo {

// The outline of a place as the service returns it: identifiers, the raw geometry map and the
// shape parsed from it. A plain record.
class TRGeometry final : public platform::Archivable {
 public:
  static constexpr const char* kArchiveClassName = "TRGeometry";

  std::optional<std::string> geometryId;     // "id"
  std::optional<std::string> geometryClass;  // "class"
  std::optional<std::string> type;           // "type"
  std::optional<Json> geometry;              // "geometry", the raw map
  // A TRPoint, TRSinglePolygon or TRMultiPolygon by the geometry map's "type"; nothing for any
  // other type.
  std::shared_ptr<TRGeometryShape> geometryShape;
  bool inside = false;     // "inside"
  std::uint64_t dist = 0;  // "dist"; a negative number reads as 0

  TRGeometry() = default;

  // No map (or anything but a map) gives a geometry with every field empty, false or 0.
  static std::shared_ptr<TRGeometry> initWithDictionary(const Json* dictionary);
  static std::shared_ptr<TRGeometry> initWithDictionary(const Json& dictionary) {
    return initWithDictionary(&dictionary);
  }

  static std::shared_ptr<TRGeometry> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;
};

}  // namespace trevalo
