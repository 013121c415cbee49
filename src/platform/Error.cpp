#include "trevalo/platform/Error.h"

namespace trevalo::platform {

Error::Error(std::string domain, std::int64_t code, std::map<std::string, std::string> userInfo)
    : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo)) {}

std::optional<std::string> Error::localizedFailureReason() const {
  const auto it = userInfo_.find(kLocalizedFailureReasonKey);
  if (it == userInfo_.end()) return std::nullopt;
  return it->second;
}

std::string Error::localizedDescription() const {
  if (const auto it = userInfo_.find(kLocalizedDescriptionKey); it != userInfo_.end()) {
    return it->second;
  }
  if (auto reason = localizedFailureReason()) return *reason;
  return "The operation couldn't be completed. (" + domain_ + " error " + std::to_string(code_) +
         ".)";
}

std::string Error::description() const {
  return "Error Domain=" + domain_ + " Code=" + std::to_string(code_) + " \"" +
         localizedDescription() + "\"";
}

}  // namespace trevalo::platform
