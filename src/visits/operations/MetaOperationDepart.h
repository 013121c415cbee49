#pragma once

#include <memory>

#include "model/TRCachedVisit.h"
#include "trevalo/platform/Date.h"
#include "visits/operations/MetaOperationBase.h"

namespace trevalo {

// Log a finished visit to the service: the visit record (its dictionary is the request body)
// and the end the tracker gave it. Every departure is distinct: a descriptor is equal only to
// itself.
class MetaOperationDepart final : public MetaOperationBase {
 public:
  static constexpr const char* kArchiveClassName = "MetaOperationDepart";

  // A null visit raises an invalid-argument Exception.
  MetaOperationDepart(std::shared_ptr<TRCachedVisit> visit, Date endDate);

  const std::shared_ptr<TRCachedVisit>& visit() const noexcept { return visit_; }
  Date endDate() const noexcept { return endDate_; }

  bool isEqualToVisitOperation(const MetaOperationDepart& other) const { return &other == this; }
  bool isEqual(const platform::Archivable* object) const override { return object == this; }
  std::size_t hash() const override;
  // "<MetaOperationDepart. EndDate:<date>; forVisit:<visit>>".
  std::string description() const override;

  // Raises ArchiveError for a record without its visit or end date.
  static std::shared_ptr<MetaOperationDepart> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;

 private:
  std::shared_ptr<TRCachedVisit> visit_;
  Date endDate_;
};

}  // namespace trevalo
