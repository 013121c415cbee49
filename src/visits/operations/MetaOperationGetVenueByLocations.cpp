#include "visits/operations/MetaOperationGetVenueByLocations.h"

#include <algorithm>
#include <cmath>

#include "platform/ArchiveError.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "trevalo/platform/Exception.h"

namespace trevalo {

MetaOperationGetVenueByLocations::MetaOperationGetVenueByLocations(
    std::weak_ptr<VisitTracker> delegate, std::vector<std::shared_ptr<TRVellLocation>> locations,
    Date startDate, std::optional<std::vector<std::shared_ptr<TRFilter>>> filter)
    : MetaOperationBase(std::move(delegate)),
      locations_(std::move(locations)),
      startDate_(startDate),
      filters_(std::move(filter)) {
  // The equality and the geocoder fallback both work from the last location.
  if (locations_.empty()) {
    throw Exception(Exception::kInvalidArgument, "a stay needs at least one location");
  }
  if (std::ranges::find(locations_, nullptr) != locations_.end()) {
    throw Exception(Exception::kInvalidArgument, "the locations of a stay cannot be null");
  }
}

bool MetaOperationGetVenueByLocations::isEqualToVisitOperation(
    const MetaOperationGetVenueByLocations& other) const {
  if (locations_.size() != other.locations_.size()) return false;
  const auto mine = locations_.back()->location.coordinate();
  const auto theirs = other.locations_.back()->location.coordinate();
  return std::fabs(mine.latitude - theirs.latitude) <= kCoordinateTolerance &&
         std::fabs(mine.longitude - theirs.longitude) <= kCoordinateTolerance;
}

bool MetaOperationGetVenueByLocations::isEqual(const platform::Archivable* object) const {
  if (object == this) return true;
  const auto* other = dynamic_cast<const MetaOperationGetVenueByLocations*>(object);
  return other && isEqualToVisitOperation(*other);
}

std::size_t MetaOperationGetVenueByLocations::hash() const {
  return locations_.size();
}

std::string MetaOperationGetVenueByLocations::description() const {
  return "<MetaOperationGetVenueByLocations: count(" + std::to_string(locations_.size()) +
         ") lastLocation:(" + locations_.back()->location.description() + ")>";
}

std::shared_ptr<MetaOperationGetVenueByLocations> MetaOperationGetVenueByLocations::initWithCoder(
    platform::KeyedUnarchiver& coder) {
  auto locations = coder.decodeArrayOfObjectsOfClass<TRVellLocation>("self.locations");
  const auto startDate = coder.decodeDate("self.startDate");
  auto filters = coder.decodeArrayOfObjectsOfClass<TRFilter>("self.filters");
  if (!locations || locations->empty() ||
      std::ranges::find(*locations, nullptr) != locations->end()) {
    throw platform::ArchiveError("a venue resolution was archived without its locations");
  }
  if (!startDate) throw platform::ArchiveError("a venue resolution was archived without its start");
  if (filters) std::erase(*filters, nullptr);
  return std::make_shared<MetaOperationGetVenueByLocations>(
      std::weak_ptr<VisitTracker>(), std::move(*locations), *startDate, std::move(filters));
}

void MetaOperationGetVenueByLocations::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeObjects(locations_, "self.locations");
  coder.encodeDate(startDate_, "self.startDate");
  if (filters_) {
    coder.encodeObjects(*filters_, "self.filters");
  } else {
    coder.encodeObject(nullptr, "self.filters");
  }
}

}  // namespace trevalo
