#include "visits/operations/MetaOperationDepart.h"

#include <functional>

#include "platform/ArchiveError.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "trevalo/platform/Exception.h"

namespace trevalo {

MetaOperationDepart::MetaOperationDepart(std::shared_ptr<TRCachedVisit> visit, Date endDate)
    : visit_(std::move(visit)), endDate_(endDate) {
  if (!visit_) throw Exception(Exception::kInvalidArgument, "a departure needs its visit");
}

std::size_t MetaOperationDepart::hash() const {
  return std::hash<const void*>{}(this);
}

std::string MetaOperationDepart::description() const {
  return "<MetaOperationDepart. EndDate:" + endDate_.description() +
         "; forVisit:" + visit_->description() + ">";
}

std::shared_ptr<MetaOperationDepart> MetaOperationDepart::initWithCoder(
    platform::KeyedUnarchiver& coder) {
  const auto endDate = coder.decodeDate("self.endDate");
  auto visit = coder.decodeObjectOfClass<TRCachedVisit>("self.visit");
  if (!endDate || !visit) {
    throw platform::ArchiveError("a departure was archived without its visit or end");
  }
  return std::make_shared<MetaOperationDepart>(std::move(visit), *endDate);
}

void MetaOperationDepart::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeDate(endDate_, "self.endDate");
  coder.encodeObject(visit_, "self.visit");
}

}  // namespace trevalo
