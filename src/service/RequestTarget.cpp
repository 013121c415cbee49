#include "service/RequestTarget.h"

namespace trevalo::service {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> RequestTarget::decode(std::string_view text, bool plusIsSpace) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int high = hexValue(text[i + 1]);
      const int low = hexValue(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      decoded += static_cast<char>(high * 16 + low);
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      decoded += ' ';
    } else {
      decoded += c;
    }
  }
  return decoded;
}

std::optional<RequestTarget> RequestTarget::parse(std::string_view url) {
  if (const auto scheme = url.find("://"); scheme != std::string_view::npos) {
    const auto pathStart = url.find('/', scheme + 3);
    url = pathStart == std::string_view::npos ? std::string_view("/") : url.substr(pathStart);
  }
  if (const auto fragment = url.find('#'); fragment != std::string_view::npos) {
    url = url.substr(0, fragment);
  }
  if (url.empty() || url[0] != '/') return std::nullopt;
  RequestTarget target;
  const auto question = url.find('?');
  const auto path = decode(url.substr(0, question), false);
  if (!path) return std::nullopt;
  target.path_ = *path;
  if (question == std::string_view::npos) return target;
  std::string_view query = url.substr(question + 1);
  while (!query.empty()) {
    const auto amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (pair.empty()) continue;
    const auto equals = pair.find('=');
    const auto name = decode(pair.substr(0, equals), true);
    const auto value = decode(
        equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1), true);
    if (!name || !value) return std::nullopt;
    target.query_.emplace_back(*name, *value);
  }
  return target;
}

std::vector<std::string> RequestTarget::segments() const {
  std::vector<std::string> segments;
  std::size_t at = 1;
  while (at <= path_.size()) {
    const auto slash = path_.find('/', at);
    const auto end = slash == std::string::npos ? path_.size() : slash;
    segments.push_back(path_.substr(at, end - at));
    at = end + 1;
  }
  return segments;
}

std::optional<std::string> RequestTarget::query(std::string_view name) const {
  for (const auto& [key, value] : query_) {
    if (key == name) return value;
  }
  return std::nullopt;
}

}  // namespace trevalo::service
