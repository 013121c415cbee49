#pragma once

#include <ostream>

#include "trevalo/strategies/LocationManagerStrategy.h"

namespace trevalo {

// Every field of a strategy, so that a failed comparison shows what differs.
inline void PrintTo(const LocationManagerStrategy& s, std::ostream* out) {
  out->precision(17);
  *out << "distanceFilter=" << s.distanceFilter << " activityType=" << s.activityType
       << " desiredAccuracy=" << s.desiredAccuracy
       << " pauses=" << s.pausesLocationUpdatesAutomatically << " timeInterval=" << s.timeInterval
       << " startAction=" << s.startAction << " headingFilter=" << s.headingFilter
       << " compassOn=" << s.compassOn;
}

}  // namespace trevalo
