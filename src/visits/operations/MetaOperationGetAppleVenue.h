#pragma once

#include <memory>

#include "trevalo/platform/Date.h"
#include "trevalo/platform/Location.h"
#include "visits/operations/MetaOperationBase.h"

namespace trevalo {

// Resolve a stay to a place through the platform geocoder: the location of the stay and when
// the stay was detected.
class MetaOperationGetAppleVenue final : public MetaOperationBase {
 public:
  static constexpr const char* kArchiveClassName = "MetaOperationGetAppleVenue";
  // How far apart, in degrees of latitude and of longitude, two locations may be for the
  // descriptors to describe the same stay.
  static constexpr double kCoordinateTolerance = 1e-6;

  MetaOperationGetAppleVenue(std::weak_ptr<VisitTracker> delegate, Location location,
                             Date startDate);

  const Location& location() const noexcept { return location_; }
  Date startDate() const noexcept { return startDate_; }

  // Locations within kCoordinateTolerance of each other; the start dates do not count.
  bool isEqualToVisitOperation(const MetaOperationGetAppleVenue& other) const;
  bool isEqual(const platform::Archivable* object) const override;
  // One value for every descriptor of this kind: no hash can follow a tolerance.
  std::size_t hash() const override;
  // "<MetaOperationGetAppleVenue: Location:(<location>)>".
  std::string description() const override;

  // Raises ArchiveError for a record without its location or start date.
  static std::shared_ptr<MetaOperationGetAppleVenue> initWithCoder(
      platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;

 private:
  Location location_;
  Date startDate_;
};

}  // namespace trevalo
