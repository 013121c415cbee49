#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "HostileServer.h"

namespace trevalo::testing {

// The ways the hostile server fails a request, each with the error the network client must
// end it in: the service's own codes for what reaches the response checker, the transport's
// (its domain, libcurl's code) for what never becomes a response.
struct HostileCase {
  std::string name;
  HostileServer::Behaviour behaviour;
  std::string domain;
  std::int64_t code;
};

// Requests are cut to this timeout in the hostile tests.
inline constexpr double kHostileTimeout = 0.5;

std::vector<HostileCase> hostileCases();

// A case for a test name: letters and digits only.
std::string caseName(const HostileCase& hostile);

}  // namespace trevalo::testing
