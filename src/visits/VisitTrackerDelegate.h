#pragma once

#include <memory>

namespace trevalo {

class MetaOperationBase;
class TRCachedVisit;

// Who hears from the visit tracker (the facade). Every call arrives on the run loop.
class VisitTrackerDelegate {
 public:
  virtual ~VisitTrackerDelegate() = default;

  // A visit started (no end yet).
  virtual void optionalDidStartVisit(const std::shared_ptr<TRCachedVisit>& visit) = 0;
  // A visit ended; its end date is set.
  virtual void optionalDidEndVisit(const std::shared_ptr<TRCachedVisit>& visit) = 0;
  // An operation succeeded and its descriptor left the persisted list.
  virtual void operationFinished(const std::shared_ptr<MetaOperationBase>& operation) = 0;
};

}  // namespace trevalo
