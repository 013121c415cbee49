#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

Exception::Exception(std::string name, std::string reason)
    : name_(std::move(name)), reason_(std::move(reason)) {}

const char* Exception::what() const noexcept {
  return reason_.empty() ? name_.c_str() : reason_.c_str();
}

}  // namespace trevalo::platform
