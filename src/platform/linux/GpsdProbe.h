#pragma once

#include <string>

namespace trevalo::platform {

// Whether a gpsd listens somewhere, asked without libgps so that the question has a deadline:
// a host that swallows connection attempts costs the timeout, not the minutes a blocking
// connect may take.
class GpsdProbe {
 public:
  // True when a TCP connection to host:port opens and gpsd's greeting (its VERSION report)
  // arrives, both within `timeoutSeconds`.
  static bool answers(const std::string& host, const std::string& port, double timeoutSeconds);
};

}  // namespace trevalo::platform
