#pragma once

#include <nlohmann/json_fwd.hpp>

namespace trevalo {

// The dynamic JSON value used everywhere in the SDK. The ordered flavour keeps members in
// insertion order, so request bodies come out in the order they were built, and it keeps
// null apart from a missing member and numbers apart from strings.
using Json = nlohmann::ordered_json;

}  // namespace trevalo
