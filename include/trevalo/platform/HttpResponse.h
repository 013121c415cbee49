#pragma once

#include "trevalo/platform/Bytes.h"
#include "trevalo/platform/HttpHeaders.h"

namespace trevalo::platform {

// What a server answered: the status of the final response (after redirects), its header
// fields and its body.
struct HttpResponse {
  int statusCode = 0;
  HttpHeaders headers;
  Bytes body;
};

}  // namespace trevalo::platform
