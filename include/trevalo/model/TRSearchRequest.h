#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "trevalo/platform/Location.h"

namespace trevalo {

// The parameters of a venue search. A plain record.
class TRSearchRequest {
 public:
  static constexpr double kDefaultRadius = 1000.0;
  static constexpr std::uint64_t kDefaultLimit = 1000;

  std::optional<Location> location;
  double radius = kDefaultRadius;  // metres
  std::uint64_t limit = kDefaultLimit;
  std::optional<std::string> category;
  std::optional<std::string> query;

  TRSearchRequest() = default;

  static std::shared_ptr<TRSearchRequest> initWithLocation(Location location);
  static std::shared_ptr<TRSearchRequest> requestWithLocation(Location location) {
    return initWithLocation(location);
  }

  // Whether the location is away from (0, 0) by more than 0.01° in latitude or longitude; no
  // location counts as (0, 0).
  bool hasValidLocation() const;
};

}  // namespace trevalo
