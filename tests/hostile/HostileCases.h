#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "HostileServer.h"
#include "trevalo/platform/linux/CurlHttpTransport.h"

namespace trevalo::testing {

// One case per way the hostile server fails a request, each with the error the network client
// must end it in: the service's own codes for what reaches the response checker (which statuses
// and bodies it refuses is SessionResponseCheckerTest's), the transport's (its domain, libcurl's
// code) for what never becomes a response. The name is the test's.
struct HostileCase {
  std::string name;
  HostileServer::Behaviour behaviour;
  std::string domain;
  std::int64_t code;
};

// The real transport (with `options`), its requests cut to half a second, so that a server
// that never finishes fails a request in a test's time rather than the SDK's 40 s.
std::shared_ptr<platform::HttpTransport> hostileTransport(
    platform::CurlHttpTransport::Options options = {});

std::vector<HostileCase> hostileCases();

}  // namespace trevalo::testing
