#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trevalo {

// The scheme and host of an absolute URL, both in lower case. Just enough URL syntax for the
// network client to tell which server a request goes to.
struct UrlParts {
  std::string scheme;
  std::string host;  // an IPv6 literal keeps its brackets

  // Nothing when `url` has no scheme followed by "://" and a non-empty host.
  static std::optional<UrlParts> parse(std::string_view url);
};

}  // namespace trevalo
