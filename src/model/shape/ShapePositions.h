#pragma once

#include <cmath>
#include <optional>

#include "trevalo/Json.h"
#include "trevalo/platform/Coordinate.h"
#include "trevalo/platform/Location.h"

// Reading positions out of geometry maps, shared by the shapes.
namespace trevalo::shape_detail {

// A [longitude, latitude, ...] list as a coordinate; nothing unless it starts with two finite
// numbers. Further elements (an altitude) are ignored.
inline std::optional<Coordinate> positionOf(const Json& value) {
  if (!value.is_array() || value.size() < 2) return std::nullopt;
  const Json& longitude = value[0];
  const Json& latitude = value[1];
  if (!longitude.is_number() || !latitude.is_number()) return std::nullopt;
  const Coordinate coordinate{latitude.get<double>(), longitude.get<double>()};
  if (!std::isfinite(coordinate.latitude) || !std::isfinite(coordinate.longitude))
    return std::nullopt;
  return coordinate;
}

// The ring in a polygon's coordinates: the first of a list of rings, or the value itself when
// it already is a list of positions. Nothing when it is neither.
inline const Json* ringOf(const Json& coordinates) {
  if (!coordinates.is_array() || coordinates.empty()) return nullptr;
  const Json& first = coordinates.front();
  if (!first.is_array()) return nullptr;
  if (!first.empty() && first.front().is_number()) return &coordinates;
  return &first;
}

// A fix at `coordinate` for distance measurements; only its coordinate matters, and taking the
// rest from `reference` keeps the clock out of it.
inline Location fixAt(Coordinate coordinate, const Location& reference) {
  return Location(coordinate, 0.0, 0.0, -1.0, -1.0, -1.0, reference.timestamp());
}

}  // namespace trevalo::shape_detail
