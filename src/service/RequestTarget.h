#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trevalo::service {

// The path and the query of a request, from a full URL ("https://host/p?q") or a target
// ("/p?q"), with the query's names and values percent-decoded ("+" is a space).
class RequestTarget {
 public:
  // Nothing for a target that is not a path (or whose escapes are broken).
  static std::optional<RequestTarget> parse(std::string_view url);

  const std::string& path() const noexcept { return path_; }
  // The path's segments: "/v1/venues/x/people" gives v1, venues, x, people.
  std::vector<std::string> segments() const;
  // The first value of `name`; nothing when absent.
  std::optional<std::string> query(std::string_view name) const;

  static std::optional<std::string> decode(std::string_view text, bool plusIsSpace);

 private:
  std::string path_;
  std::vector<std::pair<std::string, std::string>> query_;
};

}  // namespace trevalo::service
