#pragma once

#include <string>

#include "trevalo/platform/Exception.h"

namespace trevalo::platform {

// Raised when an archive cannot be read: damaged bytes, a file written by something else, a
// value of the wrong kind under a key, or a record class nobody registered. Whoever reads an
// archive from disk catches it and falls back to a fresh state.
class ArchiveError : public Exception {
 public:
  static constexpr const char* kName = "InvalidUnarchiveOperationException";

  explicit ArchiveError(std::string reason) : Exception(kName, std::move(reason)) {}
};

}  // namespace trevalo::platform
