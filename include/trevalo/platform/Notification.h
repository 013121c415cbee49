#pragma once

#include <any>
#include <string>

namespace trevalo::platform {

// A named event posted through the NotificationCenter. `object` is whatever the sender chose
// to attach (the reachability monitor that changed, for instance), held by value.
struct Notification {
  std::string name;
  std::any object;
};

}  // namespace trevalo::platform
