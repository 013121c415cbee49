#pragma once

#include <functional>

namespace trevalo::platform {

// A unit of work posted to a run loop or an executor.
using Task = std::function<void()>;

}  // namespace trevalo::platform
