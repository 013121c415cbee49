#include "visits/operations/MetaOperationGetAppleVenue.h"

#include <cmath>
#include <functional>

#include "platform/ArchiveError.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace trevalo {

MetaOperationGetAppleVenue::MetaOperationGetAppleVenue(std::weak_ptr<VisitTracker> delegate,
                                                       Location location, Date startDate)
    : MetaOperationBase(std::move(delegate)), location_(location), startDate_(startDate) {}

bool MetaOperationGetAppleVenue::isEqualToVisitOperation(
    const MetaOperationGetAppleVenue& other) const {
  const auto mine = location_.coordinate();
  const auto theirs = other.location_.coordinate();
  return std::fabs(mine.latitude - theirs.latitude) <= kCoordinateTolerance &&
         std::fabs(mine.longitude - theirs.longitude) <= kCoordinateTolerance;
}

bool MetaOperationGetAppleVenue::isEqual(const platform::Archivable* object) const {
  if (object == this) return true;
  const auto* other = dynamic_cast<const MetaOperationGetAppleVenue*>(object);
  return other && isEqualToVisitOperation(*other);
}

std::size_t MetaOperationGetAppleVenue::hash() const {
  static const std::size_t kindHash = std::hash<std::string_view>{}(kArchiveClassName);
  return kindHash;
}

std::string MetaOperationGetAppleVenue::description() const {
  return "<MetaOperationGetAppleVenue: Location:(" + location_.description() + ")>";
}

std::shared_ptr<MetaOperationGetAppleVenue> MetaOperationGetAppleVenue::initWithCoder(
    platform::KeyedUnarchiver& coder) {
  const auto location = coder.decodeLocation("self.location");
  const auto startDate = coder.decodeDate("self.startDate");
  if (!location || !startDate) {
    throw platform::ArchiveError("a geocoder resolution was archived without its location");
  }
  return std::make_shared<MetaOperationGetAppleVenue>(std::weak_ptr<VisitTracker>(), *location,
                                                      *startDate);
}

void MetaOperationGetAppleVenue::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeLocation(location_, "self.location");
  coder.encodeDate(startDate_, "self.startDate");
}

}  // namespace trevalo
