#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "trevalo/model/TRFilter.h"
#include "trevalo/platform/Date.h"
#include "vell/TRVellLocation.h"
#include "visits/operations/MetaOperationBase.h"

namespace trevalo {

// Resolve a stay to a place through the service: the enriched locations collected during the
// stay (oldest first), when the stay was detected, and the application's venue filters
// (absent when it set none, which lets an empty answer fall back to the platform geocoder).
class MetaOperationGetVenueByLocations final : public MetaOperationBase {
 public:
  static constexpr const char* kArchiveClassName = "MetaOperationGetVenueByLocations";
  // How far apart, in degrees of latitude and of longitude, the last locations of two
  // descriptors may be for them to describe the same stay.
  static constexpr double kCoordinateTolerance = 1e-6;

  // `locations` must hold at least one location and no null entry; otherwise an
  // invalid-argument Exception.
  MetaOperationGetVenueByLocations(std::weak_ptr<VisitTracker> delegate,
                                   std::vector<std::shared_ptr<TRVellLocation>> locations,
                                   Date startDate,
                                   std::optional<std::vector<std::shared_ptr<TRFilter>>> filter);

  const std::vector<std::shared_ptr<TRVellLocation>>& locations() const noexcept {
    return locations_;
  }
  Date startDate() const noexcept { return startDate_; }
  const std::optional<std::vector<std::shared_ptr<TRFilter>>>& filters() const noexcept {
    return filters_;
  }

  // The same number of locations, and last locations within kCoordinateTolerance of each
  // other. Start dates, filters and the earlier locations do not count.
  bool isEqualToVisitOperation(const MetaOperationGetVenueByLocations& other) const;
  bool isEqual(const platform::Archivable* object) const override;
  // The number of locations, which equal descriptors share.
  std::size_t hash() const override;
  // "<MetaOperationGetVenueByLocations: count(<n>) lastLocation:(<location>)>".
  std::string description() const override;

  // Raises ArchiveError for a record without locations or a start date.
  static std::shared_ptr<MetaOperationGetVenueByLocations> initWithCoder(
      platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;

 private:
  std::vector<std::shared_ptr<TRVellLocation>> locations_;
  Date startDate_;
  std::optional<std::vector<std::shared_ptr<TRFilter>>> filters_;
};

}  // namespace trevalo
