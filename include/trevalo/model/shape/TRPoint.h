#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "trevalo/Json.h"
#include "trevalo/model/shape/TRGeometryShape.h"
#include "trevalo/platform/Coordinate.h"

namespace trevalo::platform {
class KeyedUnarchiver;
}

namespace trevalo {

// A single position. It contains nothing; its distance is the geodesic distance to the position.
class TRPoint final : public TRGeometryShape {
 public:
  static constexpr const char* kArchiveClassName = "TRPoint";

  TRPoint() = default;
  TRPoint(std::optional<std::string> type, Json coordinates);

  // "coordinates" is a list whose first element is the position ([[lng, lat]]); a bare
  // [lng, lat] pair is accepted too.
  static std::shared_ptr<TRPoint> initWithShapeJSON(const Json& shapeJson);

  static std::shared_ptr<TRPoint> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;

  // The "coordinates" list as given; null when the map had none.
  const Json& coordinates() const noexcept { return coordinates_; }
  // The position read from it, when it holds a usable one.
  const std::optional<Coordinate>& position() const noexcept { return position_; }

  bool containsLocation(const TRLocation& location) const override;
  // The geodesic distance in metres; 1000.0 (the distance every empty shape reports) when there
  // is no usable position.
  double distanceTo(const TRLocation& location) const override;

 protected:
  void parseCoordinates(const Json& shapeJson) override;

 private:
  void setCoordinates(Json coordinates);

  Json coordinates_;
  std::optional<Coordinate> position_;
};

}  // namespace trevalo
