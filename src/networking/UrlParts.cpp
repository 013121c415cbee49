#include "UrlParts.h"

#include <algorithm>

namespace trevalo {

namespace {

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), lower);
  return result;
}

bool isSchemeCharacter(char c, bool first) {
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  if (first) return letter;
  return letter || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

}  // namespace

std::optional<UrlParts> UrlParts::parse(std::string_view url) {
  const auto separator = url.find("://");
  if (separator == std::string_view::npos || separator == 0) return std::nullopt;
  const std::string_view scheme = url.substr(0, separator);
  for (std::size_t i = 0; i < scheme.size(); ++i) {
    if (!isSchemeCharacter(scheme[i], i == 0)) return std::nullopt;
  }
  std::string_view authority = url.substr(separator + 3);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  // Parsers disagree about a backslash or blank in the authority; such a URL names no host
  // that could be trusted.
  if (authority.find_first_of("\\ \t\r\n") != std::string_view::npos) return std::nullopt;
  // The host follows any user information, which may itself hold ':' but not '@'.
  if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  std::string_view host;
  if (!authority.empty() && authority.front() == '[') {
    const auto close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = authority.substr(0, close + 1);
  } else {
    host = authority.substr(0, authority.find(':'));
  }
  // A trailing dot names the same host.
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);
  if (host.empty()) return std::nullopt;
  return UrlParts{lowered(scheme), lowered(host)};
}

}  // namespace trevalo
