#pragma once

#include <optional>
#include <string>

#include "trevalo/Json.h"
#include "trevalo/platform/Archivable.h"

namespace trevalo {

class TRLocation;

// The parsed outline of a place: a point, a polygon or a multi-polygon. Shapes are not changed
// once parsed, so holders share one instance rather than copy it.
//
// Positions in the service's geometry maps are [longitude, latitude] lists. A position that is
// not a list starting with two finite numbers is skipped by the parsers, which never fail.
//
// Subclasses override the three operations below; the base versions raise an
// internal-inconsistency Exception ("You must override <operation> in a subclass").
// Archives record which concrete shape they hold.
class TRGeometryShape : public platform::Archivable {
 public:
  // Lets an archive hold any of the concrete shapes where a shape is expected.
  static void registerArchivableSubclasses();

  // The "type" of the geometry map ("Point", "Polygon", "MultiPolygon").
  const std::optional<std::string>& type() const noexcept { return type_; }

  virtual bool containsLocation(const TRLocation& location) const;
  // Metres; the sign and the limits are the subclass's.
  virtual double distanceTo(const TRLocation& location) const;

 protected:
  TRGeometryShape() = default;
  explicit TRGeometryShape(std::optional<std::string> type) : type_(std::move(type)) {}

  // The part of initWithShapeJSON every shape shares: the type, then the coordinates.
  void readShapeJson(const Json& shapeJson);
  // Takes the shape's coordinates from a geometry map.
  virtual void parseCoordinates(const Json& shapeJson);

  void setType(std::optional<std::string> type) { type_ = std::move(type); }

 private:
  std::optional<std::string> type_;
};

}  // namespace trevalo
