#pragma once

#include <exception>
#include <string>

namespace trevalo::platform {

// A programming error. It carries a name and, separately, a reason; `what()` gives the reason,
// or the name when there is no reason. The SDK's fixed exception texts are documented as
// either the name or the reason, and callers can test each.
class Exception : public std::exception {
 public:
  // Names of the platform's own exceptions.
  static constexpr const char* kInvalidArgument = "InvalidArgumentException";
  static constexpr const char* kInternalInconsistency = "InternalInconsistencyException";

  explicit Exception(std::string name, std::string reason = {});

  const std::string& name() const noexcept { return name_; }
  const std::string& reason() const noexcept { return reason_; }
  const char* what() const noexcept override;

 private:
  std::string name_;
  std::string reason_;
};

}  // namespace trevalo::platform

namespace trevalo {
using platform::Exception;
}
