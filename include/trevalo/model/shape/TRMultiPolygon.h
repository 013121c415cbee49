#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/model/shape/TRGeometryShape.h"
#include "trevalo/model/shape/TRSinglePolygon.h"

namespace trevalo::platform {
class KeyedUnarchiver;
}

namespace trevalo {

// Several polygons, each of type "Polygon".
class TRMultiPolygon final : public TRGeometryShape {
 public:
  static constexpr const char* kArchiveClassName = "TRMultiPolygon";

  TRMultiPolygon() = default;
  TRMultiPolygon(std::optional<std::string> type,
                 std::vector<std::shared_ptr<TRSinglePolygon>> polygons);

  // "coordinates" is a list of rings, one polygon each. An element that is itself a list of
  // rings (outer ring, then holes) gives a polygon of its outer ring.
  static std::shared_ptr<TRMultiPolygon> initWithShapeJSON(const Json& shapeJson);

  static std::shared_ptr<TRMultiPolygon> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;

  const std::vector<std::shared_ptr<TRSinglePolygon>>& coordinates() const noexcept {
    return polygons_;
  }

  // Whether any polygon contains the location.
  bool containsLocation(const TRLocation& location) const override;
  // The smallest distance of the polygons (an inside polygon's negative distance wins);
  // TRSinglePolygon::kMaximumDistance without polygons.
  double distanceTo(const TRLocation& location) const override;

 protected:
  void parseCoordinates(const Json& shapeJson) override;

 private:
  std::vector<std::shared_ptr<TRSinglePolygon>> polygons_;
};

}  // namespace trevalo
