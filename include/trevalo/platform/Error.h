#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace trevalo::platform {

// A reported failure: a domain, a signed code and a small map of user information. Errors are
// values that travel through completion handlers; programming errors are Exceptions instead.
class Error {
 public:
  // Keys of the user-information map.
  static constexpr const char* kLocalizedDescriptionKey = "LocalizedDescription";
  static constexpr const char* kLocalizedFailureReasonKey = "LocalizedFailureReason";

  Error(std::string domain, std::int64_t code, std::map<std::string, std::string> userInfo = {});

  const std::string& domain() const noexcept { return domain_; }
  std::int64_t code() const noexcept { return code_; }
  const std::map<std::string, std::string>& userInfo() const noexcept { return userInfo_; }

  std::optional<std::string> localizedFailureReason() const;
  // The description entry; otherwise the failure reason; otherwise a generic text naming the
  // domain and code.
  std::string localizedDescription() const;
  // "Error Domain=<domain> Code=<code> \"<localized description>\"".
  std::string description() const;

  bool operator==(const Error&) const = default;

 private:
  std::string domain_;
  std::int64_t code_;
  std::map<std::string, std::string> userInfo_;
};

}  // namespace trevalo::platform

namespace trevalo {
using platform::Error;
}
