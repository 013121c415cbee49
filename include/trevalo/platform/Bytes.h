#pragma once

#include <cstdint>
#include <vector>

namespace trevalo::platform {

// Raw bytes: file contents, archives, request and response bodies.
using Bytes = std::vector<std::uint8_t>;

}  // namespace trevalo::platform
