#pragma once

#include <sstream>
#include <string>

#include "trevalo/strategies/LocationManagerStrategy.h"

namespace trevalo::testing {

// Every field of a strategy, for comparisons whose failures show what differs.
inline std::string strategyFields(const LocationManagerStrategy& s) {
  std::ostringstream out;
  out.precision(17);
  out << "distanceFilter=" << s.distanceFilter << " activityType=" << s.activityType
      << " desiredAccuracy=" << s.desiredAccuracy
      << " pauses=" << s.pausesLocationUpdatesAutomatically << " timeInterval=" << s.timeInterval
      << " startAction=" << s.startAction << " headingFilter=" << s.headingFilter
      << " compassOn=" << s.compassOn;
  return out.str();
}

}  // namespace trevalo::testing
