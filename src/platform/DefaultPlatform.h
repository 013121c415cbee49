#pragma once

#include <memory>

#include "trevalo/platform/Platform.h"

namespace trevalo::platform {

// The platform a process gets when it installs none. The interfaces do not know which
// implementation that is: the system platform of the build defines this function.
std::shared_ptr<Platform> makeDefaultPlatform();

}  // namespace trevalo::platform
